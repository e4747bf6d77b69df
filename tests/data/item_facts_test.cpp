// Reading item documents and search answers: the yield's region and
// delimiter, and the search answer's choice of item.
#include "data/item_facts.h"

#include <gtest/gtest.h>

namespace {

TEST(ChooseSearchResult, AnswersAndTheirChoice) {
    struct Row {
        const char *answer;
        bool chosen;
        int id;
    } rows[] = {
        {"[{\"type\":\"item\",\"id\":\"11\",\"n\":\"Aetherial Ring\"},{\"type\":\"item\",\"id\":\"12\",\"n\":\"Ring\"}]", true, 12},
        {"[{\"type\":\"item\",\"id\":\"11\",\"n\":\"aetherial Ring\"},{\"type\":\"item\",\"id\":\"12\",\"n\":\"Ring\"}]", true, 11},
        {"[{\"type\":\"item\",\"id\":\"11\",\"n\":\"Ring\"}]", true, 11},
        {"[{\"type\":\"item\",\"id\":\"11\",\"x\":\"Ring\"}]", false, 0},
        {"[{\"type\":\"npc\",\"id\":\"11\",\"n\":\"Ring\"}]", false, 0},
        {"[{\"type\":\"item\",\"id\":\"11\",\"n\":\"Aetherial Ring\"}]", false, 0},
        {"{\"n\":\"x\"}{\"type\":\"item\",\"id\":\"11", false, 0},
        {"{\"n\":\"x\"}{\"type\":\"item\",\"id\":\" 12x\"", true, 12},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.answer);
        int id = 0;
        EXPECT_EQ(chooseSearchResult(row.answer, &id), row.chosen);
        EXPECT_EQ(id, row.id);
    }
}

TEST(ItemFacts, YieldRegionAndDelimiter) {
    struct Row {
        const char *document;
        bool readable;
        int yield;
    } rows[] = {
        {"{\"id\":\"1\",\"yield\":3,\"ingredients\":[]}", true, 3},
        {"{\"id\":\"1\",\"ingredients\":[],\"yield\":3,}", true, 1},    // only after "ingredients"
        {"{\"id\":\"1\",\"x\":1,\"yield\":4,\"z\":1}", true, 4},          // no "ingredients": whole text
        {"{\"id\":\"1\",\"yield\":0,\"ingredients\":[]}", true, 0},
        {"{\"id\":\"1\",\"yield\":x,\"ingredients\":[]}", true, 0},
        {"{\"id\":\"1\",\"yield\":5}", false, 0},                        // no ',' behind the value
        {"{\"id\":\"1\",\"yield\":5}\"ingredients\"", false, 0},
        {"{\"id\":\"1\",\"yield\":7}\"ingredients\",", true, 7},          // ',' searched in the whole text
        {"{\"yield\":2,\"id\":\"1\"}", true, 1},                          // key needs its leading ','
        {",\"yield\":\"ingredients\":[],", true, 0},                     // key fills the region before "ingredients"
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.document);
        ItemFacts facts;
        readItemFacts(row.document, &facts);
        EXPECT_EQ(!facts.yieldUnterminated, row.readable);
        if (row.readable) {
            EXPECT_EQ(facts.yield, row.yield);
        }
    }
}

} // namespace
