#include <gtest/gtest.h>

#include "lib/JsonParser.h"
#include "server/JsonText.h"

namespace miravel::server {
namespace {

TEST(JsonText, listsBuiltFromColumnsReadLikeTheWritersTextAndStayStrict) {
    for (const std::string& text :
         {std::string("plain"), std::string("a/b \"q\" \\ é"), std::string("tab\tline\nret\r\b\f"),
          std::string("\x01\x1f", 2), std::string()}) {
        std::string appended;
        appendJsonString(appended, text);
        EXPECT_EQ(appended, strictJson(JsonValue(text)));
        auto parsed = JsonParser::parse(appended);  // strict: no raw control characters
        ASSERT_TRUE(parsed) << appended;
        EXPECT_EQ(parsed->asString(), text);
    }
}

}  // namespace
}  // namespace miravel::server
