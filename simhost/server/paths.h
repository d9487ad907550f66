// File paths travel through the console as UTF-8 text.
#pragma once

#include "simhost/server_layout.h"

namespace console {

using simhost::PathText;
using simhost::Utf8Path;

}  // namespace console
