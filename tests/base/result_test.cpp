// The short texts of the result codes.
#include "base/result.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(ResultText, EveryCodeHasItsOwnText) {
    std::set<std::string> texts;
    for (int code = RESULT_OK; code <= RESULT_AMOUNT_OVERFLOW; ++code) {
        SCOPED_TRACE(code);
        std::string text = resultText(code);
        EXPECT_NE(text, "unknown result");
        EXPECT_TRUE(texts.insert(text).second) << "shared text: " << text;
    }
    EXPECT_STREQ(resultText(RESULT_OK), "success");
    EXPECT_STREQ(resultText(RESULT_RECIPE_CYCLE), "recipe cycle");
    for (int code : {-1, RESULT_AMOUNT_OVERFLOW + 1, 1000}) EXPECT_STREQ(resultText(code), "unknown result");
}

} // namespace
