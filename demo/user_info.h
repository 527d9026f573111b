// A player's user info as the server sends it in its updates: an info string
// "\key\value\key\value..." with the player's name, their Steam ID under
// "*sid" (a 64-bit number in decimal) and "*bot" for a bot.
#pragma once

#include <string_view>

namespace rewindor {

// The value of `key` in an info string, or empty.
std::string_view InfoValue(std::string_view info, std::string_view key);

// The player's Steam ID as the info string holds it, in decimal; empty for a
// bot, for an ID of 0 and for a value that is not a decimal number.
std::string_view SteamIdOf(std::string_view info);

}  // namespace rewindor
