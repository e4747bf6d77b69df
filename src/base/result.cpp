// The short text of each result code.
#include "base/result.h"

const char *resultText(int code) {
    // No default: the compiler names a code that has no text.
    switch (static_cast<ResultCode>(code)) {
    case RESULT_OK: return "success";
    case RESULT_WEB_ERROR: return "a download failed";
    case RESULT_NO_PAGE: return "no page for the item";
    case RESULT_UNEXPECTED_DOCUMENT: return "unexpected document";
    case RESULT_CACHE_FILE_ERROR: return "cache file error";
    case RESULT_BAD_ITEM_ID: return "item id above 65536";
    case RESULT_NAME_TOO_LONG: return "item name too long";
    case RESULT_RECIPE_CYCLE: return "recipe cycle";
    case RESULT_RECIPE_TOO_DEEP: return "recipe tree too deep";
    case RESULT_TABLE_FULL: return "too many materials";
    case RESULT_AMOUNT_OVERFLOW: return "amount too large";
    }
    return "unknown result";
}
