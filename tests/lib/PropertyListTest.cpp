#include "lib/PropertyList.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "lib/AtomicFile.h"
#include "lib/DateText.h"

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
    EXPECT_EQ(value->asString(), std::string("a\0b", 3));
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
    ASSERT_FALSE(value);
    EXPECT_EQ(value.error().code, static_cast<int>(PropertyListErrorCode::TooDeep));
}

std::string fixture(const std::string& name) {
    auto bytes = readFile(std::string(MIRAVEL_TEST_DATA) + "/" + name);
    EXPECT_TRUE(bytes) << name;
    return bytes ? *bytes : std::string();
}

JsonValue readOrFail(const std::string& bytes, const std::string& name) {
    auto value = readPropertyList(bytes);
    EXPECT_TRUE(value) << name << ": " << value.error().failureReason;
    return value ? *value : JsonValue();
}

// A reference of two bytes, as the lists made by binaryList() take them.
std::string ref(unsigned index) {
    return {static_cast<char>(index >> 8), static_cast<char>(index & 0xFF)};
}

// A binary list of the given objects (each its marker byte and contents); the first is the
// top. Offsets take four bytes, references two.
std::string binaryList(const std::vector<std::string>& objects) {
    std::string bytes = "bplist00";
    std::vector<std::size_t> offsets;
    for (const std::string& object : objects) {
        offsets.push_back(bytes.size());
        bytes += object;
    }
    const std::size_t table = bytes.size();
    for (std::size_t offset : offsets) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes.push_back(static_cast<char>((offset >> shift) & 0xFF));
        }
    }
    std::string trailer(32, '\0');
    trailer[6] = 4;
    trailer[7] = 2;
    for (int i = 0; i < 8; ++i) {
        trailer[8 + i] = static_cast<char>((objects.size() >> (56 - 8 * i)) & 0xFF);
        trailer[24 + i] = static_cast<char>((table >> (56 - 8 * i)) & 0xFF);
    }
    return bytes + trailer;
}

// Arrays nested `depth` deep around nothing, in either form.
std::string nestedXml(int depth) {
    std::string xml = "<plist>";
    for (int i = 0; i < depth; ++i) {
        xml += "<array>";
    }
    for (int i = 0; i < depth; ++i) {
        xml += "</array>";
    }
    return xml + "</plist>";
}

std::string nestedBinary(int depth) {
    std::vector<std::string> objects;
    for (int i = 0; i + 1 < depth; ++i) {
        objects.push_back("\xA1" + ref(static_cast<unsigned>(i + 1)));
    }
    objects.emplace_back("\xA0");
    return binaryList(objects);
}

TEST(PropertyList, readsTheBinaryAndXmlFormsOfTheSameListAlike) {
    // The same values written by the standard writer in both forms, and in XML by hand as
    // other writers lay it out (CDATA, references, comments, wrapped Base64, blanks).
    const JsonValue binary = readOrFail(fixture("lib/forms_binary.plist"), "binary");
    EXPECT_EQ(readOrFail(fixture("lib/forms_standard.plist"), "standard"), binary);
    EXPECT_EQ(readOrFail(fixture("lib/forms_handwritten.plist"), "handwritten"), binary);
    for (const auto& [xml, other] :
         {std::pair{"import/macgourmet_xml.mgourmet", "import/macgourmet_binary.mgourmet"},
          std::pair{"import/yummysoup_xml.ysr", "import/yummysoup_binary.ysr"}}) {
        EXPECT_EQ(readOrFail(fixture(xml), xml), readOrFail(fixture(other), other)) << xml;
    }

    // And those values are the right ones, not merely the same wrong ones.
    ASSERT_TRUE(binary.isObject());
    EXPECT_EQ(binary.asObject().begin()->first, "strings");
    const auto& strings = binary.member("strings")->asArray();
    ASSERT_EQ(strings.size(), 10u);
    EXPECT_EQ(strings[0].asString(), "");
    EXPECT_EQ(strings[2].asString(), "a < b & c > d");
    EXPECT_EQ(strings[3].asString(), "quote \" and apostrophe '");
    EXPECT_EQ(strings[4].asString(), "  blanks kept  ");
    EXPECT_EQ(strings[6].asString(),
              "Cr\xc3\xa8me br\xc3\xbbl\xc3\xa9"
              "e");
    EXPECT_EQ(strings[8].asString(), "emoji \xf0\x9f\x8d\xb0 beyond the first plane");
    EXPECT_EQ(strings[9].asString(), "]]> closes CDATA");
    const auto& integers = binary.member("integers")->asArray();
    ASSERT_EQ(integers.size(), 14u);
    EXPECT_EQ(integers[2].asInteger(), -1);
    EXPECT_EQ(integers[7].asInteger(), -129);
    EXPECT_EQ(integers[10].asInteger(), std::int64_t{1} << 32);
    EXPECT_EQ(integers[11].asInteger(), INT64_MAX);
    EXPECT_EQ(integers[12].asInteger(), INT64_MIN);
    EXPECT_EQ(integers[13].asInteger(), -1);  // 2^64 - 1 as 64-bit two's complement
    const auto& reals = binary.member("reals")->asArray();
    ASSERT_EQ(reals.size(), 7u);
    EXPECT_FALSE(reals[0].isInteger());
    EXPECT_EQ(reals[5].asDouble(), 0.1);
    EXPECT_EQ(reals[4].asDouble(), 1.7976931348623157e308);
    const auto& dates = binary.member("dates")->asArray();
    ASSERT_EQ(dates.size(), 4u);
    EXPECT_EQ(dates[0].asString(), formatDateText(momentOfTimeT(978307200)));
    EXPECT_EQ(dates[2].asString(), formatDateText(momentOfTimeT(1)));
    EXPECT_EQ(dates[3].asString(), formatDateText(momentOfTimeT(-2147472000)));
    const auto& data = binary.member("data")->asArray();
    ASSERT_EQ(data.size(), 4u);
    EXPECT_EQ(data[0].asString(), "");
    EXPECT_EQ(data[1].asString(), "AA==");
    EXPECT_EQ(data[3].asString().size(), 1024u);  // 768 bytes, unwrapped
    EXPECT_TRUE(binary.member("empty dict")->asObject().empty());
    EXPECT_TRUE(binary.member("empty array")->asArray().empty());
    EXPECT_EQ(binary.member("ordered keys")->asObject().begin()->first, "zeta");
    EXPECT_EQ(binary.member("nested")
                  ->member("level")
                  ->asArray()[0]
                  .member("deeper")
                  ->asArray()[1]
                  .member("deepest")
                  ->asArray()[0]
                  .asString(),
              "end");
    EXPECT_EQ(binary.member("\xc3\xa9t\xc3\xa9 key")->asString(), "unicode key");
}

TEST(PropertyList, readsTheRarerBinaryObjects) {
    float single = 1.5f;
    std::uint32_t bits = 0;
    std::memcpy(&bits, &single, sizeof bits);
    std::string real = "\x22";
    for (int shift = 24; shift >= 0; shift -= 8) {
        real.push_back(static_cast<char>((bits >> shift) & 0xFF));
    }
    auto value = readPropertyList(binaryList({
        "\xAF\x10\x05" + ref(1) + ref(2) + ref(3) + ref(4) + ref(5),  // a long count
        real,
        std::string("\x14") + std::string(8, '\0') + std::string(7, '\0') + "\x2A",  // 16 bytes
        std::string("\x62\xD8\x3C\x00\x41", 5),  // an unpaired surrogate, then "A"
        std::string("\x53"
                    "a\xE9z",
                    4),  // a byte past ASCII, as Latin-1
        std::string("\x00", 1),
    }));
    ASSERT_TRUE(value) << value.error().failureReason;
    const auto& items = value->asArray();
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0].asDouble(), 1.5);
    EXPECT_EQ(items[1].asInteger(), 42);
    EXPECT_EQ(items[2].asString(),
              "\xef\xbf\xbd"
              "A");  // U+FFFD for the lone surrogate
    EXPECT_EQ(items[3].asString(), "a\xc3\xa9z");
    EXPECT_TRUE(items[4].isNull());
}

TEST(PropertyList, boundsNestingAlikeInBothForms) {
    for (int depth : {1, 255, 256}) {
        auto xml = readPropertyList(nestedXml(depth));
        auto binary = readPropertyList(nestedBinary(depth));
        ASSERT_TRUE(xml) << depth << ": " << xml.error().failureReason;
        ASSERT_TRUE(binary) << depth << ": " << binary.error().failureReason;
        EXPECT_EQ(*xml, *binary) << depth;
    }
    for (const std::string& bytes : {nestedXml(257), nestedBinary(257), nestedBinary(5000),
                                     // An array that holds itself.
                                     binaryList({"\xA1" + ref(0)})}) {
        auto value = readPropertyList(bytes);
        ASSERT_FALSE(value);
        EXPECT_EQ(value.error().code, static_cast<int>(PropertyListErrorCode::TooDeep));
    }
}

TEST(PropertyList, refusesDamagedBinaryListsWithAReason) {
    // Forty arrays each holding the next twice: a few hundred bytes that stand for 2^40
    // values.
    std::vector<std::string> doubling;
    for (unsigned i = 0; i < 40; ++i) {
        doubling.push_back("\xA2" + ref(i + 1) + ref(i + 1));
    }
    doubling.emplace_back("\x09");
    const std::string top = "\xA1" + ref(1);
    for (const std::string& bytes : {
             binaryList(doubling), binaryList({"\xA1" + ref(7)}),         // past the objects
             binaryList({"\xD1" + ref(1) + ref(2), "\x10\x01", "\x09"}),  // a number as key
             binaryList({top,
                         "\x55"
                         "ab"}),             // past the end
             binaryList({top, "\x5F\x10"}),  // count cut short
             binaryList({top,
                         "\x5F\x13\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"
                         "a"}),                                              // huge count
             binaryList({top, "\x90"}),                                      // unknown marker
             binaryList({top, "\x15\x01"}),                                  // 32-byte integer
             binaryList({top, std::string("\x33\x7F\xF8\0\0\0\0\0\0", 9)}),  // a NaN date
             std::string("bplist00") + std::string(32, '\0'),                // no objects
         }) {
        auto value = readPropertyList(bytes);
        ASSERT_FALSE(value) << bytes.size();
        EXPECT_FALSE(value.error().failureReason.empty());
    }

    // Every prefix and every single-byte change of a real list reads or fails, never crashes.
    const std::string list = fixture("lib/forms_binary.plist");
    for (std::size_t length = 0; length < list.size(); ++length) {
        (void)readPropertyList(list.substr(0, length));
    }
    for (std::size_t at = 0; at < list.size(); ++at) {
        for (char changed : {'\x00', '\xFF', static_cast<char>(list[at] ^ 0x10)}) {
            std::string bytes = list;
            bytes[at] = changed;
            if (auto value = readPropertyList(bytes); !value) {
                EXPECT_FALSE(value.error().description.empty());
            }
        }
    }
}

TEST(PropertyList, refusesMalformedXmlWithAReason) {
    for (const char* body : {
             "<dict><key>a</key></dict>",        // a key without its value
             "<dict><string>a</string></dict>",  // a value without its key
             "<dict><key>a</key><key>b</key><true/></dict>",
             "<array><key>a</key></array>",
             "<string>a</string><string>b</string>",  // two values
             "",                                      // none
             "<array>loose text</array>",
             "<array><integer>12abc</integer></array>",
             "<array><integer>99999999999999999999</integer></array>",
             "<array><integer></integer></array>",
             "<array><real>one</real></array>",
             "<array><date>2024-13-01T00:00:00Z</date></array>",
             "<array><date>yesterday</date></array>",
             "<array><data>!!!!</data></array>",
             "<array><true>yes</true></array>",
             "<array><string>a<b/></string></array>",
             "<array><set/></array>",  // not a property-list element
             "<plist><true/></plist>",
             "<array></dict>",
             "<array>",
             "<array><string>\xff\xfe</string></array>",  // not UTF-8
         }) {
        const std::string xml =
            std::string("<?xml version=\"1.0\"?><plist version=\"1.0\">") + body + "</plist>";
        auto value = readPropertyList(xml);
        ASSERT_FALSE(value) << body;
        EXPECT_EQ(value.error().code, static_cast<int>(PropertyListErrorCode::NotAPropertyList));
        EXPECT_FALSE(value.error().failureReason.empty()) << body;
    }
    // Entities of the document's own, which could expand a small file beyond any memory, are
    // not read; the five of XML itself and character references are.
    const std::string laughs =
        "<?xml version=\"1.0\"?><!DOCTYPE plist [<!ENTITY a \"aaaaaaaaaa\">"
        "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]><plist><string>&b;</string></plist>";
    EXPECT_FALSE(readPropertyList(laughs));
    auto references = readPropertyList(
        "<plist><string>&lt;&gt;&amp;&apos;&quot;&#65;&#x42;<![CDATA[&lt;]]></string></plist>");
    ASSERT_TRUE(references);
    EXPECT_EQ(references->asString(), "<>&'\"AB&lt;");
    // A list in the UTF-16 its declaration names reads as UTF-8 text.
    std::string wide = "\xFF\xFE";
    for (char ch : std::string("<?xml version=\"1.0\" encoding=\"UTF-16\"?><plist><string>")) {
        wide += ch;
        wide += '\0';
    }
    wide += "\xE9";
    wide += '\0';
    for (char ch : std::string("</string></plist>")) {
        wide += ch;
        wide += '\0';
    }
    auto decoded = readPropertyList(wide);
    ASSERT_TRUE(decoded) << decoded.error().failureReason;
    EXPECT_EQ(decoded->asString(), "\xc3\xa9");
}

}  // namespace
}  // namespace miravel
