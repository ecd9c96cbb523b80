#include "lib/JsonValue.h"

#include <gtest/gtest.h>

namespace miravel {
namespace {

TEST(JsonValue, objectKeepsInsertionOrderAndReplacesInPlace) {
    JsonObject object{{"b", 1}, {"a", 2}};
    object.set("c", 3);
    object.set("b", "again");
    std::vector<std::string> keys;
    for (const auto& [key, value] : object) {
        keys.push_back(key);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"b", "a", "c"}));
    EXPECT_EQ(object.find("b")->asString(), "again");
    EXPECT_TRUE(object.remove("a"));
    EXPECT_FALSE(object.contains("a"));
}

TEST(JsonValue, copiesAreIndependent) {
    JsonValue original = JsonArray{1, 2};
    JsonValue copy = original;
    copy.asArray().push_back(3);
    EXPECT_EQ(original.asArray().size(), 2u);
    EXPECT_EQ(copy.asArray().size(), 3u);
    EXPECT_NE(original, copy);
}

}  // namespace
}  // namespace miravel
