#include "lib/Utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace miravel {
namespace {

using namespace std::string_literals;

const std::string kReplacement = "\xEF\xBF\xBD";

TEST(Utf8Validation, acceptsWellFormedTextOnly) {
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("plain ascii\twith\0nul"s));
    EXPECT_TRUE(
        isValidUtf8("Cr\xC3\xA8me br\xC3\xBBl\xC3\xA9"
                    "e \xF0\x9F\x8D\xB0 \xEF\xBF\xBD"));
    EXPECT_TRUE(isValidUtf8("\xF4\x8F\xBF\xBF"));  // U+10FFFF, the last code point

    EXPECT_FALSE(isValidUtf8("Bad\xFF"));
    EXPECT_FALSE(isValidUtf8("\x80"));              // continuation without a lead
    EXPECT_FALSE(isValidUtf8("caf\xC3"));           // sequence cut off at the end
    EXPECT_FALSE(isValidUtf8("\xC3("));             // lead followed by ASCII
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));          // overlong "/"
    EXPECT_FALSE(isValidUtf8("\xE0\x80\xAF"));      // overlong, three bytes
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));      // encoded surrogate
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
}

TEST(Utf8Repair, replacesEachInvalidByteAndCountsThem) {
    const auto clean = replacingInvalidUtf8("Cr\xC3\xA8me \xEF\xBF\xBD");
    EXPECT_EQ(clean.text, "Cr\xC3\xA8me \xEF\xBF\xBD");
    EXPECT_EQ(clean.replaced, 0u);

    const auto latin1 = replacingInvalidUtf8(
        "Cr\xE8me br\xFBl\xE9"
        "e");
    EXPECT_EQ(latin1.text, "Cr" + kReplacement + "me br" + kReplacement + "l" + kReplacement + "e");
    EXPECT_EQ(latin1.replaced, 3u);
    EXPECT_TRUE(isValidUtf8(latin1.text));

    const auto cut = replacingInvalidUtf8("ab\xF0\x9F\x8D");
    EXPECT_EQ(cut.text, "ab" + kReplacement + kReplacement + kReplacement);
    EXPECT_EQ(cut.replaced, 3u);

    const auto surrogate = replacingInvalidUtf8("\xED\xA0\x80x");
    EXPECT_EQ(surrogate.replaced, 3u);
    EXPECT_TRUE(surrogate.text.ends_with("x"));
}

}  // namespace
}  // namespace miravel
