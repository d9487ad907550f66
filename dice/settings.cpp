#include "dice/settings.h"

// Constant-initialised, like the label: readable before any static constructor runs.
constinit RollSettings Settings;
