# Fails unless the DLL imports from exactly the modules in IMPORTS: the host, the logging
# library it shares with the host, and Windows' own. A new system module is a new requirement on
# every server that loads the plugin, so it is listed here on purpose, never picked up silently.
# Usage: cmake -DOBJDUMP=<objdump> -DMODULE=<dll> -DIMPORTS=a.dll,b.dll -P check_pe_imports.cmake
cmake_policy(SET CMP0007 NEW)
execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE table RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} could not read ${MODULE}")
endif()
# One "\tDLL Name: NAME" line per module of the import table. Windows matches module names
# ignoring case, so they are compared that way.
string(REGEX MATCHALL "DLL Name: [^\n]+" entries "${table}")
set(names "")
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "^DLL Name: " "" name "${entry}")
  string(TOLOWER "${name}" name)
  list(APPEND names "${name}")
endforeach()
list(SORT names)
string(TOLOWER "${IMPORTS}" expected)
string(REPLACE "," ";" expected "${expected}")
list(SORT expected)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "${MODULE} imports from '${names}', expected '${expected}'")
endif()
