#include "lib/JsonParser.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "lib/JsonWriter.h"

namespace miravel {
namespace {

using namespace std::string_literals;
using Code = JsonParser::ErrorCode;

template <typename Case>
std::string caseName(const testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

std::string repeated(std::string_view piece, std::size_t count) {
    std::string text;
    text.reserve(piece.size() * count);
    for (std::size_t i = 0; i < count; ++i) {
        text += piece;
    }
    return text;
}

// Checks the whole error: domain, code, and the offset as the description states it.
void expectFailure(const Result<JsonValue>& result, Code code, std::size_t offset) {
    ASSERT_FALSE(result.has_value()) << JsonWriter::write(*result);
    EXPECT_EQ(result.error().domain, "miravel.json");
    EXPECT_EQ(result.error().code, static_cast<int>(code)) << result.error().description;
    const std::string& description = result.error().description;
    const std::string where = "(byte " + std::to_string(offset) + "): ";
    EXPECT_TRUE(description.starts_with("Invalid JSON at line ")) << description;
    const auto at = description.find(where);
    ASSERT_NE(at, std::string::npos) << description;
    EXPECT_GT(description.size(), at + where.size());
}

struct AcceptCase {
    std::string name;
    std::string text;
    JsonValue expected;
};
void PrintTo(const AcceptCase& c, std::ostream* os) {
    *os << c.name;
}

class JsonParserAccepts : public testing::TestWithParam<AcceptCase> {};

// JsonValue equality includes the type, so these also pin Integer against Double.
TEST_P(JsonParserAccepts, readsTheValue) {
    const auto result = JsonParser::parse(GetParam().text);
    ASSERT_TRUE(result.has_value()) << result.error().description;
    EXPECT_EQ(*result, GetParam().expected) << JsonWriter::write(*result);
}

INSTANTIATE_TEST_SUITE_P(
    JsonNumbers, JsonParserAccepts,
    testing::Values(
        AcceptCase{"zero", "0", 0}, AcceptCase{"negativeZeroIsInteger", "-0", 0},
        AcceptCase{"integer", "123", 123}, AcceptCase{"negative", "-45", -45},
        AcceptCase{"int64Max", "9223372036854775807", std::numeric_limits<std::int64_t>::max()},
        AcceptCase{"int64Min", "-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
        AcceptCase{"beyondInt64IsDouble", "9223372036854775808", 9223372036854775808.0},
        AcceptCase{"belowInt64IsDouble", "-9223372036854775809", -9223372036854775808.0},
        AcceptCase{"fractionIsDouble", "1.0", 1.0}, AcceptCase{"exponentIsDouble", "1e2", 100.0},
        AcceptCase{"upperExponentWithSign", "1E+2", 100.0},
        AcceptCase{"negativeExponent", "2.5e-3", 0.0025},
        AcceptCase{"negativeFraction", "-0.5", -0.5},
        AcceptCase{"manyDigits", "0.1000000000000000055511151231257827", 0.1},
        AcceptCase{"largestDouble", "1.7976931348623157e308", 1.7976931348623157e308},
        AcceptCase{"subnormal", "5e-324", 5e-324}, AcceptCase{"underflowIsZero", "1e-400", 0.0},
        AcceptCase{"negativeUnderflowIsZero", "-1e-400", -0.0},
        AcceptCase{"longMantissaUnderflow", "1" + std::string(400, '0') + "e-800", 0.0},
        AcceptCase{"smallMantissaLargeExponent", "0." + std::string(400, '0') + "1e700", 1e299},
        AcceptCase{"hugeZeroExponent", "0e99999999999999999999", 0.0}),
    caseName<AcceptCase>);

INSTANTIATE_TEST_SUITE_P(
    JsonStrings, JsonParserAccepts,
    testing::Values(
        AcceptCase{"empty", R"("")", ""},
        AcceptCase{"simpleEscapes", R"("\"\\\/\b\f\n\r\t")", "\"\\/\b\f\n\r\t"},
        AcceptCase{"unicodeEscape", R"("caf\u00e9")", "caf\xC3\xA9"},
        AcceptCase{"unicodeEscapeUpperHex", R"("\u00E9")", "\xC3\xA9"},
        AcceptCase{"escapedNul", R"("a\u0000b")", "a\0b"s},
        AcceptCase{"escapedBmpMax", R"("\uffff")", "\xEF\xBF\xBF"},
        AcceptCase{"surrogatePair", R"("\ud83d\ude00")", "\xF0\x9F\x98\x80"},
        AcceptCase{"surrogatePairUpperHex", R"("\uD834\uDD1E")", "\xF0\x9D\x84\x9E"},
        AcceptCase{"highestSurrogatePair", R"("\udbff\udfff")", "\xF4\x8F\xBF\xBF"},
        AcceptCase{"rawEAcute", "\"caf\xC3\xA9\"", "caf\xC3\xA9"},
        AcceptCase{"rawEmoji", "\"\xF0\x9F\x98\x80\"", "\xF0\x9F\x98\x80"},
        // The edges of each UTF-8 length and around the surrogate gap.
        AcceptCase{"utf8Edges",
                   "\"\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF\xF0\x90\x80"
                   "\x80\xF4\x8F\xBF\xBF\"",
                   "\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF\xF0\x90\x80"
                   "\x80\xF4\x8F\xBF\xBF"},
        AcceptCase{"rawDelete", "\"\x7F\"", "\x7F"},
        AcceptCase{"byteOrderMarkInsideString", "\"\xEF\xBB\xBF\"", "\xEF\xBB\xBF"}),
    caseName<AcceptCase>);

INSTANTIATE_TEST_SUITE_P(
    JsonDocuments, JsonParserAccepts,
    testing::Values(AcceptCase{"null", "null", nullptr}, AcceptCase{"true", "true", true},
                    AcceptCase{"false", "false", false},
                    AcceptCase{"allWhitespaceKinds", " \t\r\n[ 1 ,\t2\r]\n", JsonArray{1, 2}},
                    AcceptCase{"byteOrderMark", "\xEF\xBB\xBF{}", JsonObject{}},
                    AcceptCase{"byteOrderMarkThenWhitespace", "\xEF\xBB\xBF 1", 1},
                    AcceptCase{"emptyContainers", "[[],{}]", JsonArray{JsonArray{}, JsonObject{}}},
                    AcceptCase{
                        "nested", R"({"a":[1,{"b":null}],"c":"d"})",
                        JsonObject{{"a", JsonArray{1, JsonObject{{"b", nullptr}}}}, {"c", "d"}}},
                    AcceptCase{"emptyKey", R"({"":1})", JsonObject{{"", 1}}},
                    AcceptCase{"duplicateKeyKeepsFirstPosition", R"({"a":1,"b":2,"a":3})",
                               JsonObject{{"a", 3}, {"b", 2}}}),
    caseName<AcceptCase>);

struct RejectCase {
    std::string name;
    std::string text;
    Code code;
    std::size_t offset;
};
void PrintTo(const RejectCase& c, std::ostream* os) {
    *os << c.name;
}

class JsonParserRejects : public testing::TestWithParam<RejectCase> {};

TEST_P(JsonParserRejects, reportsCodeAndOffset) {
    expectFailure(JsonParser::parse(GetParam().text), GetParam().code, GetParam().offset);
}

INSTANTIATE_TEST_SUITE_P(
    JsonSyntax, JsonParserRejects,
    testing::Values(RejectCase{"empty", "", Code::UnexpectedEnd, 0},
                    RejectCase{"whitespaceOnly", "  \n", Code::UnexpectedEnd, 3},
                    RejectCase{"byteOrderMarkOnly", "\xEF\xBB\xBF", Code::UnexpectedEnd, 3},
                    RejectCase{"unterminatedArray", "[1,", Code::UnexpectedEnd, 3},
                    RejectCase{"unterminatedObject", R"({"a":)", Code::UnexpectedEnd, 5},
                    RejectCase{"unterminatedString", R"("abc)", Code::UnexpectedEnd, 4},
                    RejectCase{"trailingCommaInArray", "[1,]", Code::UnexpectedCharacter, 3},
                    RejectCase{"trailingCommaInObject", R"({"a":1,})", Code::UnexpectedCharacter,
                               7},
                    RejectCase{"missingComma", "[1 2]", Code::UnexpectedCharacter, 3},
                    RejectCase{"missingColon", R"({"a" 1})", Code::UnexpectedCharacter, 5},
                    RejectCase{"nonStringKey", "{1:2}", Code::UnexpectedCharacter, 1},
                    RejectCase{"singleQuotes", "'a'", Code::UnexpectedCharacter, 0},
                    RejectCase{"singleQuotedKey", "{'a':1}", Code::UnexpectedCharacter, 1},
                    RejectCase{"mismatchedClose", "[1}", Code::UnexpectedCharacter, 2},
                    RejectCase{"lineComment", "// x\n1", Code::UnexpectedCharacter, 0},
                    RejectCase{"commentInside", "[1/*x*/]", Code::UnexpectedCharacter, 2},
                    RejectCase{"commentAfter", "[1]/**/", Code::TrailingCharacters, 3},
                    RejectCase{"secondValue", "1 2", Code::TrailingCharacters, 2},
                    RejectCase{"extraClose", "[1]]", Code::TrailingCharacters, 3},
                    RejectCase{"trailingNul", "{}\0"s, Code::TrailingCharacters, 2},
                    RejectCase{"trueMisspelled", "trUe", Code::UnexpectedCharacter, 2},
                    RejectCase{"capitalTrue", "True", Code::UnexpectedCharacter, 0},
                    RejectCase{"truncatedNull", "nul", Code::UnexpectedEnd, 3},
                    RejectCase{"literalWithSuffix", "falsey", Code::TrailingCharacters, 5},
                    RejectCase{"formFeedIsNoWhitespace", "\f1", Code::UnexpectedCharacter, 0},
                    RejectCase{"verticalTabIsNoWhitespace", "\v1", Code::UnexpectedCharacter, 0},
                    RejectCase{"noBreakSpaceIsNoWhitespace",
                               "\xC2\xA0"
                               "1",
                               Code::UnexpectedCharacter, 0},
                    RejectCase{"byteOrderMarkAfterWhitespace",
                               " \xEF\xBB\xBF"
                               "1",
                               Code::UnexpectedCharacter, 1},
                    RejectCase{"secondByteOrderMark",
                               "\xEF\xBB\xBF\xEF\xBB\xBF"
                               "1",
                               Code::UnexpectedCharacter, 3},
                    RejectCase{"nonAsciiOutsideString", "\xC3\xA9", Code::UnexpectedCharacter, 0}),
    caseName<RejectCase>);

INSTANTIATE_TEST_SUITE_P(
    JsonNumbers, JsonParserRejects,
    testing::Values(
        RejectCase{"leadingZero", "01", Code::InvalidNumber, 1},
        RejectCase{"negativeLeadingZero", "-01", Code::InvalidNumber, 2},
        RejectCase{"doubleZero", "[00]", Code::InvalidNumber, 2},
        RejectCase{"noFractionDigits", "[1.]", Code::InvalidNumber, 3},
        RejectCase{"noExponentDigits", "[1e]", Code::InvalidNumber, 3},
        RejectCase{"noSignedExponentDigits", "[1e+]", Code::InvalidNumber, 4},
        RejectCase{"loneMinus", "[-]", Code::InvalidNumber, 2},
        RejectCase{"truncatedExponent", "1e", Code::UnexpectedEnd, 2},
        RejectCase{"leadingDot", ".5", Code::UnexpectedCharacter, 0},
        RejectCase{"leadingPlus", "+1", Code::UnexpectedCharacter, 0},
        RejectCase{"hex", "0x1F", Code::TrailingCharacters, 1},
        RejectCase{"nan", "NaN", Code::UnexpectedCharacter, 0},
        RejectCase{"lowercaseNan", "nan", Code::UnexpectedCharacter, 1},
        RejectCase{"infinity", "Infinity", Code::UnexpectedCharacter, 0},
        RejectCase{"negativeInfinity", "-Infinity", Code::InvalidNumber, 1},
        RejectCase{"exponentOverflow", "1e400", Code::NumberOutOfRange, 0},
        RejectCase{"negativeOverflow", "[-1e400]", Code::NumberOutOfRange, 1},
        RejectCase{"justAboveLargestDouble", "1.7976931348623159e308", Code::NumberOutOfRange, 0},
        RejectCase{"manyDigitsOverflow", "1" + std::string(400, '0'), Code::NumberOutOfRange, 0},
        RejectCase{"smallExponentOverflow", "0.001e312", Code::NumberOutOfRange, 0}),
    caseName<RejectCase>);

INSTANTIATE_TEST_SUITE_P(
    JsonStrings, JsonParserRejects,
    testing::Values(
        RejectCase{"unknownEscape", R"("\x")", Code::InvalidEscape, 1},
        RejectCase{"escapedSingleQuote", R"("\'")", Code::InvalidEscape, 1},
        RejectCase{"capitalU", R"("a\U0041")", Code::InvalidEscape, 2},
        RejectCase{"badHexDigit", R"("\u12G4")", Code::InvalidEscape, 1},
        RejectCase{"shortUnicodeEscape", R"("\u12")", Code::InvalidEscape, 1},
        RejectCase{"loneHighSurrogate", R"("\ud83d")", Code::InvalidSurrogate, 1},
        RejectCase{"highSurrogateThenText", R"("\ud83dx")", Code::InvalidSurrogate, 1},
        RejectCase{"loneLowSurrogate", R"("\ude00")", Code::InvalidSurrogate, 1},
        RejectCase{"lowThenHighSurrogate", R"("\ude00\ud83d")", Code::InvalidSurrogate, 1},
        RejectCase{"highSurrogateThenNonSurrogate", R"("\ud83d\u0041")", Code::InvalidSurrogate, 1},
        RejectCase{"twoHighSurrogates", R"("\ud83d\ud83d")", Code::InvalidSurrogate, 1},
        RejectCase{"highSurrogateThenOtherEscape", R"("\ud83d\n")", Code::InvalidSurrogate, 1},
        RejectCase{"highSurrogateThenBadEscape", R"("a\ud83d\uZZZZ")", Code::InvalidEscape, 8},
        RejectCase{"rawControl",
                   "\"a\x01"
                   "b\"",
                   Code::ControlCharacterInString, 2},
        RejectCase{"rawTab", "\"\t\"", Code::ControlCharacterInString, 1},
        RejectCase{"rawLineFeed", "[\"a\nb\"]", Code::ControlCharacterInString, 3},
        RejectCase{"rawNul", "\"\0\""s, Code::ControlCharacterInString, 1},
        RejectCase{"rawUnitSeparator", "\"\x1F\"", Code::ControlCharacterInString, 1}),
    caseName<RejectCase>);

INSTANTIATE_TEST_SUITE_P(
    JsonUtf8, JsonParserRejects,
    testing::Values(RejectCase{"loneContinuation", "\"\x80\"", Code::InvalidUtf8, 1},
                    RejectCase{"overlongTwoByteC0", "\"\xC0\xAF\"", Code::InvalidUtf8, 1},
                    RejectCase{"overlongTwoByteC1", "\"\xC1\xBF\"", Code::InvalidUtf8, 1},
                    RejectCase{"overlongThreeByte", "\"\xE0\x80\xAF\"", Code::InvalidUtf8, 1},
                    RejectCase{"overlongFourByte", "\"\xF0\x80\x80\xAF\"", Code::InvalidUtf8, 1},
                    RejectCase{"encodedHighSurrogate", "\"\xED\xA0\x80\"", Code::InvalidUtf8, 1},
                    RejectCase{"encodedLowSurrogate", "\"\xED\xBF\xBF\"", Code::InvalidUtf8, 1},
                    RejectCase{"aboveMaxCodePoint", "\"\xF4\x90\x80\x80\"", Code::InvalidUtf8, 1},
                    RejectCase{"leadF5", "\"\xF5\x80\x80\x80\"", Code::InvalidUtf8, 1},
                    RejectCase{"leadFF", "\"\xFF\"", Code::InvalidUtf8, 1},
                    RejectCase{"truncatedTwoByte", "\"\xC3\"", Code::InvalidUtf8, 1},
                    RejectCase{"truncatedThreeByte", "\"ab\xE2\x82\"", Code::InvalidUtf8, 3},
                    RejectCase{"truncatedFourByteBeforeAscii", "\"\xF0\x9F\x98z\"",
                               Code::InvalidUtf8, 1},
                    RejectCase{"invalidAfterValid", "\"\xC3\xA9\xC3\"", Code::InvalidUtf8, 3},
                    RejectCase{"invalidInKey", "{\"\xC0\x80\":1}", Code::InvalidUtf8, 2}),
    caseName<RejectCase>);

// Every proper prefix of these documents is incomplete, so each must fail as truncated at
// exactly its own length, wherever the cut falls: inside a token, escape, surrogate pair,
// multi-byte character, or between tokens.
TEST(JsonParserTruncation, everyPrefixFailsAtItsEnd) {
    const std::string compact =
        R"({"uid":"A\/1","n":[0,-12,3.25,-1.5e-3,6E+2],"t":true,"f":false,"z":null,)"
        R"("s":"q\"\\\b\f\n\r\t\u00e9\ud83d\ude00","raw":"caf)"
        "\xC3\xA9\xF0\x9F\x98\x80"
        R"(","e":{},"a":[[]],"o":{"k":[{}]}})";
    const auto parsed = JsonParser::parse(compact);
    ASSERT_TRUE(parsed.has_value()) << parsed.error().description;
    const std::string pretty = JsonWriter::writePretty(*parsed);
    for (const std::string& document : {compact, pretty}) {
        for (std::size_t length = 0; length < document.size(); ++length) {
            SCOPED_TRACE(document.substr(0, length));
            expectFailure(JsonParser::parse(std::string_view(document).substr(0, length)),
                          Code::UnexpectedEnd, length);
        }
    }
}

struct DepthCase {
    std::string name;
    std::string text;
    int maxDepth;
    bool accepted;
    std::size_t failureOffset;
};
void PrintTo(const DepthCase& c, std::ostream* os) {
    *os << c.name;
}

class JsonParserDepth : public testing::TestWithParam<DepthCase> {};

TEST_P(JsonParserDepth, enforcesTheLimit) {
    const auto result = JsonParser::parse(GetParam().text, GetParam().maxDepth);
    if (GetParam().accepted) {
        ASSERT_TRUE(result.has_value()) << result.error().description;
        EXPECT_EQ(JsonWriter::write(*result), GetParam().text);
    } else {
        expectFailure(result, Code::TooDeep, GetParam().failureOffset);
    }
}

INSTANTIATE_TEST_SUITE_P(
    JsonDepth, JsonParserDepth,
    testing::Values(DepthCase{"arrayBomb", std::string(1'000'000, '['), 512, false, 512},
                    DepthCase{"objectBomb", repeated(R"({"a":)", 100'000), 512, false, 512 * 5},
                    DepthCase{"mixedBomb", repeated(R"([{"a":)", 50'000), 512, false, 256 * 6},
                    DepthCase{"atDefaultLimit", std::string(512, '[') + std::string(512, ']'), 512,
                              true, 0},
                    DepthCase{"beyondDefaultLimit", std::string(513, '[') + std::string(513, ']'),
                              512, false, 512},
                    DepthCase{"emptyContainerCounts", "[[]]", 1, false, 1},
                    DepthCase{"objectAtLimit", R"({"a":{}})", 2, true, 0},
                    DepthCase{"objectBeyondLimit", R"({"a":{}})", 1, false, 5},
                    DepthCase{"scalarNeedsNoDepth", "1", 0, true, 0},
                    DepthCase{"zeroAllowsNoContainer", "[]", 0, false, 0},
                    DepthCase{"negativeLimitAllowsNoContainer", "{}", -1, false, 0}),
    caseName<DepthCase>);

// With no effective limit, a deep truncated document must still fail cleanly: parsing keeps
// open containers on the heap, not on the call stack.
TEST(JsonParserDepthUnlimited, deepTruncatedDocumentFailsWithoutRecursion) {
    const std::string text = repeated(R"([{"a":)", 100'000);
    expectFailure(JsonParser::parse(text, INT_MAX), Code::UnexpectedEnd, text.size());
}

// Large objects find repeated keys another way than small ones; at every size the result
// must be what JsonObject::set gives, member order included.
TEST(JsonParserObjects, repeatedKeysMatchSetAtEverySize) {
    for (int size : {1, 2, 15, 16, 17, 40, 1000}) {
        for (int repeatEvery : {0, 1, 3}) {
            SCOPED_TRACE(testing::Message() << size << " members, repeat every " << repeatEvery);
            std::string text = "{";
            JsonObject expected;
            const auto add = [&](const std::string& key, const JsonValue& value) {
                text += "\"" + key + "\":" + JsonWriter::write(value) + ",";
                expected.set(key, value);
            };
            // Keys out of sorted order, so that sorting cannot pass for document order.
            for (int i = 0; i < size; ++i) {
                add("k" + std::to_string((i * 7919) % size), i);
            }
            for (int i = 0; repeatEvery > 0 && i < size; i += repeatEvery) {
                add("k" + std::to_string(i), "again " + std::to_string(i));
                add("k" + std::to_string(i), "last " + std::to_string(i));
            }
            text.back() = '}';
            const auto result = JsonParser::parse(text);
            ASSERT_TRUE(result.has_value()) << result.error().description;
            EXPECT_EQ(*result, JsonValue(expected));
        }
    }
}

struct RoundTripCase {
    std::string name;
    JsonValue value;
};
void PrintTo(const RoundTripCase& c, std::ostream* os) {
    *os << c.name;
}

class JsonRoundTripValue : public testing::TestWithParam<RoundTripCase> {};

TEST_P(JsonRoundTripValue, parsesWhatWasWritten) {
    const JsonValue& value = GetParam().value;
    const std::string text = JsonWriter::write(value);
    const auto compact = JsonParser::parse(text);
    ASSERT_TRUE(compact.has_value()) << compact.error().description << "\n" << text;
    EXPECT_EQ(*compact, value) << text;
    const auto pretty = JsonParser::parse(JsonWriter::writePretty(value));
    ASSERT_TRUE(pretty.has_value()) << pretty.error().description;
    EXPECT_EQ(*pretty, value);
}

INSTANTIATE_TEST_SUITE_P(
    JsonRoundTrip, JsonRoundTripValue,
    testing::Values(
        RoundTripCase{"null", nullptr}, RoundTripCase{"true", true}, RoundTripCase{"false", false},
        RoundTripCase{"zero", 0}, RoundTripCase{"negative", -1},
        RoundTripCase{"int64Max", std::numeric_limits<std::int64_t>::max()},
        RoundTripCase{"int64Min", std::numeric_limits<std::int64_t>::min()},
        RoundTripCase{"half", 0.5}, RoundTripCase{"negativeFraction", -2.75},
        RoundTripCase{"tenth", 0.1}, RoundTripCase{"third", 1.0 / 3.0},
        RoundTripCase{"large", 1e300}, RoundTripCase{"tiny", -1e-300},
        RoundTripCase{"subnormal", 5e-324}, RoundTripCase{"largestDouble", 1.7976931348623157e308},
        RoundTripCase{"integralBeyondInt64", 1e20},
        RoundTripCase{"twoToThe63", 9223372036854775808.0}, RoundTripCase{"emptyString", ""},
        RoundTripCase{"everyEscape", "\"\\/\b\f\n\r\t"},
        RoundTripCase{"slashesAndQuotes", "\\/ </script> \\\\\""},
        RoundTripCase{"nonAscii", "caf\xC3\xA9 \xF0\x9F\x98\x80 \x7F"},
        RoundTripCase{"byteOrderMarkAndLineSeparator", "\xEF\xBB\xBF\xE2\x80\xA8"},
        RoundTripCase{"emptyArray", JsonArray{}}, RoundTripCase{"emptyObject", JsonObject{}},
        RoundTripCase{"nestedEmpty",
                      JsonArray{JsonArray{}, JsonObject{}, JsonArray{JsonValue(JsonArray{})}}},
        RoundTripCase{"recipe", JsonObject{{"uid", "9F3C/0001"},
                                           {"name", "Cr\xC3\xA8me br\xC3\xBBl\xC3\xA9\x65"},
                                           {"ingredients", "1/2 cup \"heavy\" cream\n2 egg yolks"},
                                           {"rating", 5},
                                           {"scale", 1.5},
                                           {"on_favorites", true},
                                           {"photo", nullptr},
                                           {"categories", JsonArray{"Dessert", "French"}},
                                           {"nutrition",
                                            JsonObject{{"kcal", 320}, {"notes", JsonArray{}}}}}}),
    caseName<RoundTripCase>);

struct CanonicalCase {
    std::string name;
    std::string input;
    std::string canonical;
};
void PrintTo(const CanonicalCase& c, std::ostream* os) {
    *os << c.name;
}

class JsonCanonicalText : public testing::TestWithParam<CanonicalCase> {};

TEST_P(JsonCanonicalText, rewritesToCanonicalBytes) {
    const auto result = JsonParser::parse(GetParam().input);
    ASSERT_TRUE(result.has_value()) << result.error().description;
    EXPECT_EQ(JsonWriter::write(*result), GetParam().canonical);
}

// Canonical texts come back byte for byte; other spellings of the same values settle on
// the canonical bytes.
INSTANTIATE_TEST_SUITE_P(
    JsonCanonical, JsonCanonicalText,
    testing::Values(
        CanonicalCase{
            "document",
            R"({"uid":"A\/1","n":[0,-12,3.25,-0.0015,600],"ok":true,"no":false,"z":null})",
            R"({"uid":"A\/1","n":[0,-12,3.25,-0.0015,600],"ok":true,"no":false,"z":null})"},
        CanonicalCase{"numbers",
                      "[1e+300,5e-324,1e-07,0.1,9223372036854775807,-9223372036854775808]",
                      "[1e+300,5e-324,1e-07,0.1,9223372036854775807,-9223372036854775808]"},
        CanonicalCase{"escapes", R"("\"\\\/\b\f\n\r\t")", R"("\"\\\/\b\f\n\r\t")"},
        CanonicalCase{"rawUnicode", "\"caf\xC3\xA9\xF0\x9F\x98\x80\"",
                      "\"caf\xC3\xA9\xF0\x9F\x98\x80\""},
        CanonicalCase{"nestedEmpty", R"({"a":{"b":{"c":[[],{}]}}})",
                      R"({"a":{"b":{"c":[[],{}]}}})"},
        CanonicalCase{"integralFraction", "1.0", "1"}, CanonicalCase{"negativeZero", "-0", "0"},
        CanonicalCase{"negativeZeroFraction", "-0.0", "0"},
        CanonicalCase{"integralExponent", "1E2", "100"},
        CanonicalCase{"trailingFractionZero", "0.10", "0.1"},
        CanonicalCase{"largeInteger", "100000000000000000000", "1e+20"},
        CanonicalCase{"unescapedSlash", R"("a/b")", R"("a\/b")"},
        CanonicalCase{"unicodeEscapes", R"("\u00e9\ud83d\ude00\u002F")",
                      "\"\xC3\xA9\xF0\x9F\x98\x80\\/\""},
        CanonicalCase{"escapedControlBecomesRaw", R"("\u0001")", "\"\x01\""},
        CanonicalCase{"whitespace", " [ 1 , { \"a\" : 2 } ] ", R"([1,{"a":2}])"},
        CanonicalCase{"repeatedKey", R"({"a":1,"b":2,"a":3})", R"({"a":3,"b":2})"},
        CanonicalCase{"byteOrderMark", "\xEF\xBB\xBF[]", "[]"}),
    caseName<CanonicalCase>);

// The writer's raw control characters are not strict JSON; only the opt-in reads them back.
TEST(JsonParserControlCharacters, readsWriterOutputOnlyWhenAllowed) {
    const JsonValue value = JsonObject{{"k",
                                        "a\x01"
                                        "b\0c\x1F"s}};
    const std::string text = JsonWriter::write(value);
    expectFailure(JsonParser::parse(text), Code::ControlCharacterInString, 7);
    const auto lenient =
        JsonParser::parse(text, {.maxDepth = 512, .allowRawControlCharacters = true});
    ASSERT_TRUE(lenient.has_value()) << lenient.error().description;
    EXPECT_EQ(*lenient, value);
}

// A person fixing a file by hand looks for the line and column, so both are named; columns
// count characters, and neither a CR before the line feed nor a byte order mark moves them.
TEST(JsonParserErrorPosition, namesLineAndColumnAsAnEditorCounts) {
    const auto describe = [](std::string_view text) {
        auto result = JsonParser::parse(text);
        return result ? std::string("<parsed>") : result.error().description;
    };
    EXPECT_TRUE(describe("{\"a\": x}").starts_with("Invalid JSON at line 1, column 7 (byte 6): "))
        << describe("{\"a\": x}");
    EXPECT_TRUE(describe("{\n  \"a\": 1,\n  \"b\": x\n}")
                    .starts_with("Invalid JSON at line 3, column 8 (byte 19): "))
        << describe("{\n  \"a\": 1,\n  \"b\": x\n}");
    EXPECT_TRUE(describe("{\r\n\"cr\\u00e8me\": \"cr\xC3\xA8me\", ]")
                    .starts_with("Invalid JSON at line 2, column 24 (byte 27): "))
        << describe("{\r\n\"cr\\u00e8me\": \"cr\xC3\xA8me\", ]");
    EXPECT_TRUE(
        describe("\xEF\xBB\xBF[1,]").starts_with("Invalid JSON at line 1, column 4 (byte 6): "))
        << describe("\xEF\xBB\xBF[1,]");
    EXPECT_TRUE(describe("[1,\n").starts_with("Invalid JSON at line 2, column 1 (byte 4): "))
        << describe("[1,\n");
}

}  // namespace
}  // namespace miravel
