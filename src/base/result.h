// Result codes of document retrieval, the material table and the expansion.
#pragma once

// 0 means success; every caller stops at the first nonzero code and passes
// it on unchanged. The failing operation has already printed its message.
enum ResultCode {
    RESULT_OK = 0,
    RESULT_WEB_ERROR = 1,            // a download failed, or its address was too long
    RESULT_NO_PAGE = 2,              // the document's item id is -1
    RESULT_UNEXPECTED_DOCUMENT = 3,  // no usable search result, or a key, delimiter or value is missing
    RESULT_CACHE_FILE_ERROR = 4,     // a cache file could not be created, read or stored
    RESULT_BAD_ITEM_ID = 5,          // the document's item id is greater than 65536
    RESULT_NAME_TOO_LONG = 6,        // an item name longer than 99 bytes
    RESULT_RECIPE_CYCLE = 7,         // an item is, through its ingredients, an ingredient of itself
    RESULT_RECIPE_TOO_DEEP = 8,      // a recipe tree deeper than a row's depth field can hold
    RESULT_TABLE_FULL = 9,           // a generation needs more than 1000 materials
    RESULT_AMOUNT_OVERFLOW = 10,     // an amount or quantity beyond the signed 32-bit range
};
