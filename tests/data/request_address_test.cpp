// The request addresses and their escaping: each rule on its own bytes, and each form's room to the byte.
#include "data/request_address.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>

namespace {

// `form` writes `expected` into its length and the terminator, and refuses one byte less.
void expectFitsExactly(const std::function<bool(char *, std::size_t)> &form, const std::string &expected) {
    std::string buffer(expected.size() + 1, 'x');
    ASSERT_TRUE(form(buffer.data(), buffer.size()));
    EXPECT_EQ(buffer.c_str(), expected);
    EXPECT_FALSE(form(buffer.data(), expected.size()));
}

TEST(RequestAddressTest, EachEscapeTakesItsOwnBytes) {
    std::tuple<std::string, AddressEscape, std::string> rows[] = { // text, rule, escaped
        {"Salt & Pepper+#%\xc3\xa9~._-", ESCAPE_SEARCH_TEXT, "Salt%20%26%20Pepper%2B%23%25%C3%A9~._-"},
        {"AZaz09/a?b=c\x7f", ESCAPE_SEARCH_TEXT, "AZaz09%2Fa%3Fb%3Dc%7F"},
        {"/x?text=Iron  Ore", ESCAPE_BLANKS, "/x?text=Iron%20%20Ore"},
        {" Salt&Pepper+1%\xc3\xa9\t ", ESCAPE_BLANKS, "%20Salt&Pepper+1%\xc3\xa9\t%20"},
        {"/a%20b/c?d=e f\xc3\xa8\t\x7f~!", ESCAPE_NON_ASCII, "/a%20b/c?d=e%20f%C3%A8%09%7F~!"},
    };
    for (const auto &[text, rule, escaped] : rows) {
        SCOPED_TRACE(text);
        expectFitsExactly([&](char *to, std::size_t size) { return escapeAddress(text.c_str(), rule, to, size); }, escaped);
        EXPECT_EQ(escapeAddress(text, rule), escaped);
    }
}

TEST(RequestAddressTest, SearchAndItemAddresses) {
    const std::string base = "http://127.0.0.1:1", search = base + "/api/search.php?text=";
    std::string plus99;
    while (plus99.size() < 3 * 99) plus99 += "%2B";
    std::pair<std::string, std::string> rows[] = { // the search's name, or empty for item 2001
        {"Copper Ore", search + "Copper%20Ore&lang=en"},
        {std::string(99, '+'), search + plus99 + "&lang=en"}, // the longest name fills the search text's room
        {"", base + "/db/doc/item/en/3/2001.json"},
    };
    for (const auto &[name, address] : rows) {
        SCOPED_TRACE(address);
        expectFitsExactly([&](char *to, std::size_t size) {
            return name.empty() ? formItemAddress(base.c_str(), 2001, to, size)
                                : formSearchAddress(base.c_str(), name.c_str(), to, size);
        }, address);
    }
    char address[WORK_BUFFER_SIZE];
    EXPECT_FALSE(formSearchAddress(base.c_str(), std::string(100, '+').c_str(), address, sizeof address));
}

} // namespace
