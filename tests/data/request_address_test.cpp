// The request addresses and the escaping of their bytes, each rule on its
// own bytes, and the room that every form needs to the byte.
#include "data/request_address.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// `form` writes `expected` when given its length and the terminator, and
// refuses one byte less.
void expectFitsExactly(const std::function<bool(char *, std::size_t)> &form, const std::string &expected) {
    std::vector<char> buffer(expected.size() + 1);
    ASSERT_TRUE(form(buffer.data(), buffer.size()));
    EXPECT_EQ(buffer.data(), expected);
    EXPECT_FALSE(form(buffer.data(), expected.size()));
}

TEST(RequestAddressTest, EachEscapeTakesItsOwnBytes) {
    struct Row {
        std::string text;
        AddressEscape rule;
        std::string escaped;
    } rows[] = {
        {"Salt & Pepper+#%\xc3\xa9~._-", ESCAPE_SEARCH_TEXT, "Salt%20%26%20Pepper%2B%23%25%C3%A9~._-"},
        {"AZaz09/a?b=c\x7f", ESCAPE_SEARCH_TEXT, "AZaz09%2Fa%3Fb%3Dc%7F"},
        {"/x?text=Iron  Ore", ESCAPE_BLANKS, "/x?text=Iron%20%20Ore"},
        {" Salt&Pepper+1%\xc3\xa9\t ", ESCAPE_BLANKS, "%20Salt&Pepper+1%\xc3\xa9\t%20"},
        {"/a%20b/c?d=e f\xc3\xa8\t\x7f~!", ESCAPE_NON_ASCII, "/a%20b/c?d=e%20f%C3%A8%09%7F~!"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text);
        expectFitsExactly([&](char *buffer, std::size_t size) { return escapeAddress(row.text.c_str(), row.rule, buffer, size); },
                          row.escaped);
        EXPECT_EQ(escapeAddress(row.text, row.rule), row.escaped);
    }
}

TEST(RequestAddressTest, SearchAndItemAddresses) {
    const std::string base = "http://127.0.0.1:1";
    std::string plus99;
    for (int i = 0; i < 99; ++i) plus99 += "%2B";
    struct Row {
        std::string name; // the search's, or empty for item 2001's address
        std::string address;
    } rows[] = {
        {"Copper Ore", base + "/api/search.php?text=Copper%20Ore&lang=en"},
        // The longest name escaped in every byte fills the search text's room.
        {std::string(99, '+'), base + "/api/search.php?text=" + plus99 + "&lang=en"},
        {"", base + "/db/doc/item/en/3/2001.json"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.address);
        expectFitsExactly([&](char *buffer, std::size_t size) {
            return row.name.empty() ? formItemAddress(base.c_str(), 2001, buffer, size)
                                    : formSearchAddress(base.c_str(), row.name.c_str(), buffer, size);
        }, row.address);
    }
    char address[WORK_BUFFER_SIZE];
    EXPECT_FALSE(formSearchAddress(base.c_str(), std::string(100, '+').c_str(), address, sizeof address));
}

} // namespace
