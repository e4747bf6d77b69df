// Quantities read from runs of decimal digits.
#include "base/decimal_digits.h"

#include <gtest/gtest.h>

TEST(ReadLeadingDigits, DigitsUpToTheFirstOtherCharacterClampedTo32Bits) {
    struct Row {
        const char *text;
        int quantity;
    } rows[] = {
        {"3", 3},           {"3abc", 3},          {"007", 7},         {"0", 0},
        {"12 5", 12},       {"x3", 0},            {"", 0},            {"2147483647", 2147483647},
        {"2147483648", 2147483647}, {"99999999999999999999999", 2147483647},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(readLeadingDigits(row.text), row.quantity);
    }
}
