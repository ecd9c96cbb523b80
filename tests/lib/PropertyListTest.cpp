#include "lib/PropertyList.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace miravel {
namespace {

TEST(PropertyList, readsXmlListsInTheirOwnOrder) {
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        "<key>Zeta</key><string>last &amp; first</string>"
        "<key>Alpha</key><array><integer>-3</integer><real>2.5</real><true/><false/>"
        "<data>aGVsbG8=</data></array>"
        "<key>Nested</key><dict><key>Title</key><string>Cr\xc3\xa8me</string></dict>"
        "</dict></plist>";
    auto value = readPropertyList(xml);
    ASSERT_TRUE(value) << value.error().description;
    ASSERT_TRUE(value->isObject());
    EXPECT_EQ(value->asObject().begin()->first, "Zeta");  // not sorted
    EXPECT_EQ(value->member("Zeta")->asString(), "last & first");
    const auto& list = value->member("Alpha")->asArray();
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(list[0].asInteger(), -3);
    EXPECT_EQ(list[1].asDouble(), 2.5);
    EXPECT_TRUE(list[2].asBoolean());
    EXPECT_FALSE(list[3].asBoolean());
    EXPECT_EQ(list[4].asString(), "aGVsbG8=");
    EXPECT_EQ(value->member("Nested")->member("Title")->asString(), "Cr\xc3\xa8me");
}

TEST(PropertyList, keepsStringsWithNulBytesWhole) {
    // A binary list whose one object is the 3-character string "a", NUL, "b". Reading such a
    // string the usual way ends the program in the list library's own consistency check.
    std::string binary = std::string("bplist00") +
                         std::string(
                             "\x53"
                             "a\0b",
                             4) +
                         '\x08';
    std::string trailer(32, '\0');
    trailer[6] = 1;    // offset size
    trailer[7] = 1;    // object reference size
    trailer[15] = 1;   // one object
    trailer[31] = 12;  // the offset table starts at byte 12
    auto value = readPropertyList(binary + trailer);
    ASSERT_TRUE(value) << value.error().description;
    // The list library keeps such a string only up to the NUL; what matters is the answer.
    EXPECT_TRUE(value->asString().starts_with("a"));
}

TEST(PropertyList, refusesABinaryKeyWithANulInsteadOfEndingTheProgram) {
    // One dictionary whose key is the UTF-16 string "a", NUL, "b": the list library's
    // consistency check ends the program when it hands such a key out. With the NUL in the
    // value instead, the file reads.
    const auto list = [](std::string_view key, std::string_view value) {
        std::string bytes = "bplist00";
        bytes += std::string("\xd1\x01\x02", 3);
        bytes += static_cast<char>(0x60 | (key.size() / 2));
        bytes += key;
        const char valueAt = static_cast<char>(bytes.size());
        bytes += static_cast<char>(0x60 | (value.size() / 2));
        bytes += value;
        const char tableAt = static_cast<char>(bytes.size());
        bytes += std::string("\x08\x0b", 2) + valueAt;
        std::string trailer(32, '\0');
        trailer[6] = 1;   // offset size
        trailer[7] = 1;   // object reference size
        trailer[15] = 3;  // three objects
        trailer[31] = tableAt;
        return bytes + trailer;
    };
    const std::string withNul("\0a\0\0\0b", 6), plain("\0a\0b", 4);
    auto refused = readPropertyList(list(withNul, plain));
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().description.find("NUL"), std::string::npos);

    auto read = readPropertyList(list(plain, withNul));
    ASSERT_TRUE(read) << read.error().description;
    ASSERT_TRUE(read->member("ab"));
    EXPECT_TRUE(read->member("ab")->asString().starts_with("a"));
}

TEST(PropertyList, refusesWhatIsNotAPropertyList) {
    for (const std::string& bytes :
         {std::string(), std::string("hello"), std::string("<plist><dict><key>a</key>"),
          std::string("bplist00\xff\xff\xff", 11), std::string("{\"json\": true}")}) {
        auto value = readPropertyList(bytes);
        EXPECT_FALSE(value) << bytes;
    }
}

TEST(PropertyList, refusesNestingDeeperThanAnyRealFile) {
    std::string xml = "<plist version=\"1.0\">";
    for (int i = 0; i < 300; ++i) {
        xml += "<array>";
    }
    for (int i = 0; i < 300; ++i) {
        xml += "</array>";
    }
    xml += "</plist>";
    auto value = readPropertyList(xml);
    // libplist may refuse it itself; either way there is no value and no crash.
    EXPECT_FALSE(value);
}

}  // namespace
}  // namespace miravel
