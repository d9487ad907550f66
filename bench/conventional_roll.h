// The same handler written the way plugins commonly are: a std::string copy of the
// message, std::stoi, std::uniform_int_distribution, a results vector, std::ostringstream
// and std::u16string concatenation. It makes the same host calls as RollCommand, in the
// same order, and sends the same line for the same engine state.
#pragma once

#include <random>

#include "host/asa_api.h"

// Its own engine, so the benchmark can seed it like DiceEngine and compare the lines.
extern std::mt19937 ConventionalEngine;

void ConventionalRoll(AShooterPlayerController* player, FString* message, int sides);
