#include "model/Bookmark.h"

namespace miravel {

std::optional<JsonObject> Bookmark::objectDictionary() const {
    JsonObject dictionary;
    dictionary.set("uid", uid());
    dictionary.set("url", textMember("url"));
    dictionary.set("title", textMember("title"));
    dictionary.set("order_flag", integerMember("orderFlag"));
    dictionary.set("deleted", deletedMember());
    return dictionary;
}

}  // namespace miravel
