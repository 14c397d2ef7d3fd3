#pragma once
// How numbers are spelled in the settings file.

#include <optional>
#include <string>
#include <string_view>

namespace vedo {

// Reads an integer value. Text longer than two bytes that starts with "0x" or
// "0X", or text that starts with "$", is hexadecimal with one to eight digits;
// the digits are a 32-bit pattern, so "$FFFFFFFF" is -1. Anything else is a
// decimal: optional leading blanks, an optional "+" or "-", then digits up to
// the end, within the range of int. Text that does not parse, a ninth hex
// digit, or a decimal out of range gives nullopt, and the caller its default:
// a value the tool cannot hold is treated as no value, never wrapped or
// clamped into one it did not mean.
std::optional<int> parseIntegerValue(std::string_view text);

// How integers and flags are written: decimal; flags as "1" or "0".
std::string formatIntegerValue(int value);
inline std::string formatFlagValue(bool on) { return on ? "1" : "0"; }

}  // namespace vedo
