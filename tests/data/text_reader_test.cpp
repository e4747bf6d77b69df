// Region-bounded search and value reading.
#include "data/text_reader.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

TEST(TextReader, ValueEndsAtFirstDelimiterInsideRegion) {
    struct Row {
        const char *text;
        std::size_t regionLength; // 0: the whole text
        const char *key;
        char delimiter;
        bool found;
        const char *value;
    } rows[] = {
        {"\"job\":3,\"x\":1", 0, "\"job\":", ',', true, "3"},
        {"\"amount\":3},{\"id\":4,", 0, "\"amount\":", ',', true, "3}"},
        {"\"job\":3,\"x\":1", 7, "\"job\":", ',', false, ""},  // the ',' lies past the region
        {"\"job\":3,\"x\":1", 5, "\"job\":", ',', false, ""},  // the key is cut by the region
        {"\"nodes\":[],\"z\":2", 0, "\"nodes\":[", ',', true, "]"},
        {"\"z\":}", 0, "\"z\":", '}', true, ""},
        {"no key here", 0, "\"job\":", ',', false, ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text);
        TextRegion region = regionOfText(row.text);
        if (row.regionLength) region.end = region.begin + row.regionLength;
        char value[VALUE_BUFFER_SIZE];
        EXPECT_EQ(readValue(region, region.begin, row.key, row.delimiter, value, sizeof value),
                  row.found);
        EXPECT_STREQ(value, row.value);
    }
}

TEST(TextReader, LongValueIsCutToTheBuffer) {
    std::string text = "\"v\":" + std::string(3000, '7') + ",";
    char value[8];
    TextRegion region = regionOfText(text.c_str());
    ASSERT_TRUE(readValue(region, region.begin, "\"v\":", ',', value, sizeof value));
    EXPECT_STREQ(value, "7777777");
}

TEST(TextReader, NumbersConvertLikeStrtolAndClamp) {
    struct Row {
        const char *text;
        int number;
    } rows[] = {
        {"12", 12},          {"  7x", 7},          {"-3", -3},         {"+4", 4},
        {"]", 0},            {"", 0},              {"3}", 3},          {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN}, {"2147483647", INT_MAX},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(convertNumber(row.text), row.number);
    }
}

TEST(TextReader, SearchFromPointStaysInRegion) {
    const char *text = "{\"id\":1,\"amount\":2},{\"id\":3,\"amount\":4}]";
    TextRegion region = regionOfText(text);
    const char *second = std::strchr(text + 1, '{');
    char value[VALUE_BUFFER_SIZE];
    ASSERT_TRUE(readValue(region, second, "\"id\":", ',', value, sizeof value));
    EXPECT_STREQ(value, "3");
    EXPECT_EQ(findCharInRegion(region, region.end, ']'), nullptr);
}
