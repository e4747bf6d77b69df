// Reading a run of decimal digits.
#include "base/decimal_digits.h"

#include <climits>

bool isDecimalDigit(char c) { return c >= '0' && c <= '9'; }

int readLeadingDigits(std::string_view text) {
    long long number = 0;
    for (char c : text) {
        if (!isDecimalDigit(c)) break;
        number = number * 10 + (c - '0');
        if (number > INT_MAX) return INT_MAX;
    }
    return static_cast<int>(number);
}
