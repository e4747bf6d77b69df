// Quantities as the user types them: runs of decimal digits.
#pragma once

#include <string_view>

// True for the characters 0 to 9.
bool isDecimalDigit(char c);

// The number formed by the leading decimal digits of `text` (0 without any);
// a value beyond the signed 32-bit range reads as 2147483647.
int readLeadingDigits(std::string_view text);
