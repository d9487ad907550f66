# Cross build for 64-bit Windows with Debian's mingw-w64, posix threads variant: spdlog
# needs std::mutex, which the win32 threads variant of this GCC lacks.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ROLLMOOT_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ROLLMOOT_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ROLLMOOT_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ROLLMOOT_MINGW_TRIPLE}-windres)

# Libraries and packages come from the Windows sysroot only; never from the host's /usr.
set(CMAKE_FIND_ROOT_PATH /usr/${ROLLMOOT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static puts the GCC runtime (libgcc, libstdc++, winpthread) into every module, so the
# programs run on a bare Windows (or Wine) with no libstdc++-6.dll and friends beside them.
# Each module then has its own copy; exceptions still cross modules, since x64 unwinds
# through the system's tables (tests/windows checks it).
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -static)

# Windows has no rpath: programs find AsaApi.dll and the plugin beside them in bin/.
set(CMAKE_SKIP_RPATH ON)

# ctest (and test discovery) run the Windows programs through Wine when it is installed.
find_program(ROLLMOOT_WINE NAMES wine wine64)
if(ROLLMOOT_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ROLLMOOT_WINE})
endif()
