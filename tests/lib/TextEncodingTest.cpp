#include "lib/TextEncoding.h"

#include <gtest/gtest.h>

#include <string>

#include "lib/Utf8.h"

namespace miravel {
namespace {

using namespace std::string_literals;

TEST(TextEncoding, ByteOrderMarksDecideAndAreDropped) {
    struct Case {
        std::string bytes;
        std::string encoding;
    };
    for (const Case& c : std::initializer_list<Case>{{"\xEF\xBB\xBF"
                                                      "Cr\xC3\xA8me"s,
                                                      "UTF-8"},
                                                     {"\xFF\xFE"
                                                      "C\0r\0\xE8\0m\0e\0"s,
                                                      "UTF-16LE"},
                                                     {"\xFE\xFF"
                                                      "\0C\0r\0\xE8\0m\0e"s,
                                                      "UTF-16BE"},
                                                     {"\xFF\xFE\0\0"
                                                      "C\0\0\0r\0\0\0\xE8\0\0\0m\0\0\0e\0\0\0"s,
                                                      "UTF-32LE"}}) {
        const DecodedText decoded = decodeText(c.bytes);
        EXPECT_EQ(decoded.text, "Cr\u00e8me") << c.encoding;
        EXPECT_EQ(decoded.encoding, c.encoding);
        EXPECT_EQ(decoded.source, TextSource::ByteOrderMark);
    }
    // A UTF-8 mark before bytes that are not UTF-8 keeps the text, each bad byte replaced.
    const DecodedText marked = decodeText(
        "\xEF\xBB\xBF"
        "a\xFF"
        "b");
    EXPECT_EQ(marked.text, "a\uFFFDb");
    EXPECT_EQ(marked.replaced, 1u);
    EXPECT_NE(describeDecoding(marked).find("1 unreadable"), std::string::npos);
}

TEST(TextEncoding, ValidUtf8IsTakenAsItIs) {
    const std::string text = "Cr\u00e8me br\u00fbl\u00e9e \U0001F370\n";
    const DecodedText decoded = decodeText(text);
    EXPECT_EQ(decoded.text, text);
    EXPECT_EQ(decoded.source, TextSource::Utf8);
    EXPECT_EQ(describeDecoding(decoded), "");
    EXPECT_EQ(decodeText("").text, "");
}

TEST(TextEncoding, LatinTextIsReadAsWindows1252WhetherDetectedOrNot) {
    // One accented letter in a short text: too little for the detector to be sure.
    const DecodedText short1252 = decodeText("Caf\xE9");
    EXPECT_EQ(short1252.text, "Caf\u00e9");
    EXPECT_EQ(short1252.encoding, "Windows-1252");
    EXPECT_NE(describeDecoding(short1252).find("Windows-1252"), std::string::npos);

    std::string longer;
    for (int i = 0; i < 40; ++i) {
        longer +=
            "Cr\xE8me fra\xEE"
            "che, \x93quoted\x94 and d\xE9j\xE0 vu in the caf\xE9.\n";
    }
    const DecodedText detected = decodeText(longer);
    EXPECT_EQ(detected.encoding, "Windows-1252");
    EXPECT_TRUE(detected.text.starts_with(
        "Cr\u00e8me fra\u00eeche, \u201cquoted\u201d and d\u00e9j\u00e0 vu in the "
        "caf\u00e9.\n"));
}

TEST(TextEncoding, EveryWindows1252ByteMapsToACharacter) {
    std::string all;
    for (int byte = 0; byte < 256; ++byte) {
        all.push_back(static_cast<char>(byte));
    }
    const std::string text = windows1252ToUtf8(all);
    EXPECT_NE(text.find("\u20ac"), std::string::npos);  // 0x80, the euro sign
    EXPECT_NE(text.find("\u0178"), std::string::npos);  // 0x9F
    EXPECT_NE(text.find("\u00ff"), std::string::npos);
    EXPECT_EQ(windows1252ToUtf8("\x81\x8D\x8F\x90\x9D"), "\u0081\u008d\u008f\u0090\u009d");
    // Whatever the detector makes of such bytes, the text comes back whole and valid.
    const DecodedText decoded = decodeText(all);
    EXPECT_TRUE(isValidUtf8(decoded.text)) << decoded.encoding;
    EXPECT_FALSE(decoded.text.empty());
}

}  // namespace
}  // namespace miravel
