#include "lib/JsonWriter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace miravel {
namespace {

using namespace std::string_literals;

struct WriteCase {
    std::string name;
    JsonValue value;
    std::string expected;
};
void PrintTo(const WriteCase& c, std::ostream* os) {
    *os << c.name;
}

std::string caseName(const testing::TestParamInfo<WriteCase>& info) {
    return info.param.name;
}

// These bytes are hashed and compared across devices: every case pins one rule of the form.
class JsonWriterCompact : public testing::TestWithParam<WriteCase> {};

TEST_P(JsonWriterCompact, writesExactBytes) {
    EXPECT_EQ(JsonWriter::write(GetParam().value), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    JsonScalars, JsonWriterCompact,
    testing::Values(
        WriteCase{"null", nullptr, "null"}, WriteCase{"true", true, "true"},
        WriteCase{"false", false, "false"}, WriteCase{"zero", 0, "0"},
        WriteCase{"positive", 42, "42"}, WriteCase{"negative", -17, "-17"},
        WriteCase{"int64Max", std::numeric_limits<std::int64_t>::max(), "9223372036854775807"},
        WriteCase{"int64Min", std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"},
        WriteCase{"half", 0.5, "0.5"}, WriteCase{"negativeHalf", -0.5, "-0.5"},
        WriteCase{"tenth", 0.1, "0.1"},
        WriteCase{"shortestRoundTrip", 1.0 / 3.0, "0.3333333333333333"},
        WriteCase{"large", 1e300, "1e+300"}, WriteCase{"small", 1e-7, "1e-07"},
        WriteCase{"smallestSubnormal", 5e-324, "5e-324"},
        // Integral doubles print as integers while they fit 64 bits, and not beyond.
        WriteCase{"integralDouble", 3.0, "3"}, WriteCase{"negativeZero", -0.0, "0"},
        WriteCase{"integralDoubleLarge", 1e15, "1000000000000000"},
        WriteCase{"integralDoubleInt64Min", -9223372036854775808.0, "-9223372036854775808"},
        WriteCase{"integralDoubleBeyondInt64", 9223372036854775808.0, "9223372036854775808"},
        WriteCase{"integralDoubleFarBeyondInt64", 1e20, "1e+20"},
        WriteCase{"nan", std::numeric_limits<double>::quiet_NaN(), "null"},
        WriteCase{"infinity", std::numeric_limits<double>::infinity(), "null"},
        WriteCase{"negativeInfinity", -std::numeric_limits<double>::infinity(), "null"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    JsonStrings, JsonWriterCompact,
    testing::Values(WriteCase{"empty", "", R"("")"}, WriteCase{"plain", "abc", R"("abc")"},
                    WriteCase{"backslash", "\\", R"("\\")"}, WriteCase{"quote", "\"", R"("\"")"},
                    WriteCase{"slash", "/", R"("\/")"}, WriteCase{"backspace", "\b", R"("\b")"},
                    WriteCase{"formFeed", "\f", R"("\f")"}, WriteCase{"lineFeed", "\n", R"("\n")"},
                    WriteCase{"carriageReturn", "\r", R"("\r")"}, WriteCase{"tab", "\t", R"("\t")"},
                    // An escaped slash in the input must not be taken for an escape already made.
                    WriteCase{"backslashSlash", "\\/", R"("\\\/")"},
                    WriteCase{"mixed", "1/2 cup \"packed\"\n\tC:\\",
                              R"("1\/2 cup \"packed\"\n\tC:\\")"},
                    // Every other byte is written as itself, never as \u.
                    WriteCase{"rawSoh", "a\x01z", "\"a\x01z\""},
                    WriteCase{"rawUnitSeparator", "\x1F", "\"\x1F\""},
                    WriteCase{"rawDelete", "\x7F", "\"\x7F\""},
                    WriteCase{"rawVerticalTab", "\v", "\"\v\""},
                    WriteCase{"rawNul", "a\0b"s, "\"a\0b\""s},
                    WriteCase{"eAcute", "caf\xC3\xA9", "\"caf\xC3\xA9\""},
                    WriteCase{"emoji", "\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},
                    WriteCase{"lineSeparator", "\xE2\x80\xA8", "\"\xE2\x80\xA8\""},
                    WriteCase{"replacementCharacterKept", "\xEF\xBF\xBD", "\"\xEF\xBF\xBD\""}),
    caseName);

// Whatever a stored text holds, the document stays readable: each byte outside a valid
// sequence is written as U+FFFD, and the valid text around it is kept.
INSTANTIATE_TEST_SUITE_P(
    JsonInvalidUtf8, JsonWriterCompact,
    testing::Values(WriteCase{"loneHighByte", "Bad\xFF", "\"Bad\xEF\xBF\xBD\""},
                    WriteCase{"strayContinuation",
                              "a\x80"
                              "b",
                              "\"a\xEF\xBF\xBD"
                              "b\""},
                    WriteCase{"truncatedAtEnd", "caf\xC3", "\"caf\xEF\xBF\xBD\""},
                    WriteCase{"overlongSlash", "\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
                    WriteCase{"encodedSurrogate", "\xED\xA0\x80/",
                              "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\\/\""},
                    WriteCase{"invalidKey", JsonObject{{"k\xFE", 1}}, "{\"k\xEF\xBF\xBD\":1}"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    JsonContainers, JsonWriterCompact,
    testing::Values(
        WriteCase{"emptyArray", JsonArray{}, "[]"}, WriteCase{"emptyObject", JsonObject{}, "{}"},
        WriteCase{"nestedEmpty",
                  JsonArray{JsonArray{}, JsonObject{}, JsonArray{JsonValue(JsonArray{})}},
                  "[[],{},[[]]]"},
        WriteCase{"objectOfEmpty", JsonObject{{"a", JsonObject{}}, {"b", JsonArray{}}},
                  R"({"a":{},"b":[]})"},
        WriteCase{"mixedArray", JsonArray{1, "x", nullptr, true, 2.5}, R"([1,"x",null,true,2.5])"},
        WriteCase{"insertionOrder", JsonObject{{"b", 1}, {"a", 2}, {"c", 3}},
                  R"({"b":1,"a":2,"c":3})"},
        WriteCase{"escapedKey", JsonObject{{"a/b\"c", 1}}, R"({"a\/b\"c":1})"},
        WriteCase{
            "nested",
            JsonObject{
                {"uid", "AB/12"}, {"tags", JsonArray{"x", JsonObject{{"n", -1}}}}, {"on", false}},
            R"({"uid":"AB\/12","tags":["x",{"n":-1}],"on":false})"}),
    caseName);

class JsonWriterPretty : public testing::TestWithParam<WriteCase> {};

TEST_P(JsonWriterPretty, writesExactBytes) {
    EXPECT_EQ(JsonWriter::writePretty(GetParam().value), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(JsonPretty, JsonWriterPretty,
                         testing::Values(WriteCase{"scalar", "a/b", R"("a\/b")"},
                                         WriteCase{"emptyArray", JsonArray{}, "[]"},
                                         WriteCase{"emptyObject", JsonObject{}, "{}"},
                                         WriteCase{"array", JsonArray{1, 2.5}, "[\n  1,\n  2.5\n]"},
                                         WriteCase{"nested",
                                                   JsonObject{{"a", JsonArray{true, JsonObject{}}},
                                                              {"b", JsonObject{{"c", nullptr}}}},
                                                   "{\n"
                                                   "  \"a\": [\n"
                                                   "    true,\n"
                                                   "    {}\n"
                                                   "  ],\n"
                                                   "  \"b\": {\n"
                                                   "    \"c\": null\n"
                                                   "  }\n"
                                                   "}"}),
                         caseName);

}  // namespace
}  // namespace miravel
