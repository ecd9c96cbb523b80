#include "lib/YAMLSerialization.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "lib/JsonWriter.h"

namespace miravel {
namespace {

using Code = YAMLSerialization::ErrorCode;

std::string repeated(std::string_view piece, std::size_t count) {
    std::string text;
    text.reserve(piece.size() * count);
    for (std::size_t i = 0; i < count; ++i) {
        text += piece;
    }
    return text;
}

Result<JsonArray> read(std::string_view yaml) {
    return YAMLSerialization::YAMLWithData(yaml, kYAMLReadOptionStringScalars);
}

std::string describe(const Result<JsonArray>& result) {
    return result ? JsonWriter::write(JsonValue(*result)) : result.error().description;
}

struct ReadCase {
    std::string name;
    std::string yaml;
    JsonArray documents;
};
void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

class YAMLSerializationReads : public testing::TestWithParam<ReadCase> {};

// JsonValue equality includes the type, so these also prove that no scalar becomes a
// number, boolean or null.
TEST_P(YAMLSerializationReads, documentsAsPlainValues) {
    const auto result = read(GetParam().yaml);
    ASSERT_TRUE(result.has_value()) << result.error().description;
    EXPECT_EQ(*result, GetParam().documents) << describe(result);
}

INSTANTIATE_TEST_SUITE_P(
    YAMLStreams, YAMLSerializationReads,
    testing::Values(ReadCase{"emptyStream", "", {}},
                    ReadCase{"onlyAComment", "# nothing here\n", {}},
                    ReadCase{"onlyWhitespace", "  \n\n", {}},
                    ReadCase{"twoDocumentsInOrder",
                             "name: first\n---\nname: second\n",
                             {JsonObject{{"name", "first"}}, JsonObject{{"name", "second"}}}},
                    ReadCase{"explicitMarkersAndEnds",
                             "--- a\n...\n--- b\n...\n",
                             {JsonValue("a"), JsonValue("b")}},
                    ReadCase{"emptyDocumentIsEmptyText", "---\n", {JsonValue("")}},
                    ReadCase{"topLevelScalar", "just text\n", {JsonValue("just text")}},
                    ReadCase{"utf16WithByteOrderMark",
                             std::string("\xFF\xFE"
                                         "a\0:\0 \0b\0\n\0",
                                         12),
                             {JsonObject{{"a", "b"}}}},
                    ReadCase{"utf8ByteOrderMark", "\xEF\xBB\xBFk: v\n", {JsonObject{{"k", "v"}}}}),
    [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    YAMLScalars, YAMLSerializationReads,
    testing::Values(
        ReadCase{"integerStaysText", "- 42\n- -7\n- 0x1F\n", {JsonArray{"42", "-7", "0x1F"}}},
        ReadCase{"floatStaysText", "- 2.5\n- 1e3\n- .inf\n", {JsonArray{"2.5", "1e3", ".inf"}}},
        ReadCase{"booleansStayText",
                 "- true\n- false\n- yes\n- no\n",
                 {JsonArray{"true", "false", "yes", "no"}}},
        ReadCase{"nullsStayText", "- null\n- ~\n-\n", {JsonArray{"null", "~", ""}}},
        ReadCase{"tagIgnored", "- !!int 3\n- !!bool yes\n", {JsonArray{"3", "yes"}}},
        ReadCase{"quotedStyles", "- 'it''s'\n- \"tab\\there\"\n", {JsonArray{"it's", "tab\there"}}},
        ReadCase{"literalBlockKeepsLines",
                 "ingredients: |\n  1 cup flour\n  2 eggs\n  1 tsp salt\n",
                 {JsonObject{{"ingredients", "1 cup flour\n2 eggs\n1 tsp salt\n"}}}},
        ReadCase{"foldedBlock", "d: >\n  one\n  two\n", {JsonObject{{"d", "one two\n"}}}},
        ReadCase{"unicodeText", "- \"caf\\u00e9\"\n- crème\n", {JsonArray{"café", "crème"}}}),
    [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    YAMLCollections, YAMLSerializationReads,
    testing::Values(ReadCase{"mappingKeepsFileOrder",
                             "z: 1\na: 2\nm: 3\n",
                             {JsonObject{{"z", "1"}, {"a", "2"}, {"m", "3"}}}},
                    ReadCase{"repeatedKeyTakesLaterValueAtFirstPosition",
                             "a: 1\nb: 2\na: 3\n",
                             {JsonObject{{"a", "3"}, {"b", "2"}}}},
                    ReadCase{"flowCollections",
                             "{list: [a, b], map: {k: v}, empty: [], none: {}}\n",
                             {JsonObject{{"list", JsonArray{"a", "b"}},
                                         {"map", JsonObject{{"k", "v"}}},
                                         {"empty", JsonArray{}},
                                         {"none", JsonObject{}}}}},
                    ReadCase{
                        "nestedBlock",
                        "thresholds:\n  - unit: teaspoon\n    quantity: 3\n",
                        {JsonObject{{"thresholds", JsonArray{JsonObject{{"unit", "teaspoon"},
                                                                        {"quantity", "3"}}}}}}},
                    ReadCase{"numericKeyIsText",
                             "1: one\ntrue: yes\n",
                             {JsonObject{{"1", "one"}, {"true", "yes"}}}}),
    [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    YAMLAliases, YAMLSerializationReads,
    testing::Values(ReadCase{"scalarAlias", "- &x salt\n- *x\n", {JsonArray{"salt", "salt"}}},
                    ReadCase{"collectionAlias",
                             "base: &b {unit: cup, value: 16}\ncopy: *b\n",
                             {JsonObject{{"base", JsonObject{{"unit", "cup"}, {"value", "16"}}},
                                         {"copy", JsonObject{{"unit", "cup"}, {"value", "16"}}}}}},
                    ReadCase{"aliasAsKey",
                             "- &k name\n- {*k : x}\n",
                             {JsonArray{"name", JsonObject{{"name", "x"}}}}},
                    ReadCase{"redefinedAnchorUsesLatest",
                             "- &a one\n- *a\n- &a two\n- *a\n",
                             {JsonArray{"one", "one", "two", "two"}}},
                    ReadCase{"nestedAliases",
                             "a: &a [x]\nb: &b [*a, *a]\nc: *b\n",
                             {JsonObject{{"a", JsonArray{"x"}},
                                         {"b", JsonArray{JsonArray{"x"}, JsonArray{"x"}}},
                                         {"c", JsonArray{JsonArray{"x"}, JsonArray{"x"}}}}}}),
    [](const auto& info) { return info.param.name; });

TEST(YAMLSerializationAliases, aliasIsIndependentOfItsAnchorOnceChanged) {
    auto result = read("a: &a [x]\nb: *a\n");
    ASSERT_TRUE(result.has_value());
    JsonObject& root = (*result)[0].asObject();
    root.find("b")->asArray().push_back("y");
    EXPECT_EQ(root.find("a")->asArray(), (JsonArray{"x"}));
}

struct FailCase {
    std::string name;
    std::string yaml;
    Code code;
    std::string description;
};
void PrintTo(const FailCase& c, std::ostream* os) {
    *os << c.name;
}

class YAMLSerializationRefuses : public testing::TestWithParam<FailCase> {};

TEST_P(YAMLSerializationRefuses, withCodeAndTexts) {
    const auto result = read(GetParam().yaml);
    ASSERT_FALSE(result.has_value()) << describe(result);
    EXPECT_EQ(result.error().domain, kYAMLErrorDomain);
    EXPECT_EQ(result.error().code, static_cast<int>(GetParam().code));
    EXPECT_EQ(result.error().description, GetParam().description);
    EXPECT_EQ(result.error().failureReason, "Make sure YAML file is well formed");
}

const std::string kNestedTooDeep = repeated("[", YAMLSerialization::kMaxDepth + 1);

// Each level holds ten aliases of the one before: nine levels would stand for 10^9 texts.
std::string billionLaughs() {
    std::string yaml = "a0: &a0 lol\n";
    for (int level = 1; level <= 9; ++level) {
        yaml += "a" + std::to_string(level) + ": &a" + std::to_string(level) + " [";
        for (int i = 0; i < 10; ++i) {
            yaml += (i == 0 ? "*a" : ", *a") + std::to_string(level - 1);
        }
        yaml += "]\n";
    }
    return yaml;
}

INSTANTIATE_TEST_SUITE_P(
    YAMLMalformed, YAMLSerializationRefuses,
    testing::Values(
        FailCase{"unclosedFlowSequence", "[a, b", Code::Parse, "Parse error"},
        FailCase{"badIndentation", "a:\n  b: c\n d: e\n", Code::Parse, "Parse error"},
        FailCase{"unterminatedQuote", "a: \"open\n", Code::Parse, "Parse error"},
        FailCase{"tabIndentation", "a:\n\tb: c\n", Code::Parse, "Parse error"},
        FailCase{"errorInSecondDocumentFailsAll", "a: b\n---\n[x\n", Code::Parse, "Parse error"},
        FailCase{"undefinedAlias", "- *nowhere\n", Code::Parse, "Parse error"},
        FailCase{"aliasIntoOwnCollection", "&a [x, *a]\n", Code::Parse, "Parse error"},
        FailCase{"anchorFromEarlierDocument", "&a x\n---\n*a\n", Code::Parse, "Parse error"},
        FailCase{"sequenceAsKey", "? [a, b]\n: c\n", Code::Parse, "Parse error"},
        FailCase{"mappingAliasAsKey", "- &m {a: b}\n- {*m : c}\n", Code::Parse, "Parse error"}),
    [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    YAMLHostile, YAMLSerializationRefuses,
    testing::Values(FailCase{"nestingBeyondLimit", kNestedTooDeep, Code::TooDeep,
                             "YAML collections are nested too deeply"},
                    FailCase{"veryDeepNestingDoesNotOverflowTheStack", repeated("{a: ", 200000),
                             Code::TooDeep, "YAML collections are nested too deeply"},
                    FailCase{"aliasPushesBeyondDepthLimit",
                             "a: &deep " + repeated("[", YAMLSerialization::kMaxDepth - 1) +
                                 repeated("]", YAMLSerialization::kMaxDepth - 1) + "\nb: [*deep]\n",
                             Code::TooDeep, "YAML collections are nested too deeply"},
                    FailCase{"billionLaughs", billionLaughs(), Code::AliasExpansionTooLarge,
                             "YAML aliases expand too far"},
                    FailCase{"longTextAliasedManyTimes",
                             "a: &t " + std::string(1 << 20, 'x') + "\nb: [" + repeated("*t, ", 8) +
                                 "]\n",
                             Code::AliasExpansionTooLarge, "YAML aliases expand too far"}),
    [](const auto& info) { return info.param.name; });

TEST(YAMLSerializationEmpty, nothingAtAllReadsAsNoDocuments) {
    // An empty view may carry no pointer at all; the parser must still be given one.
    for (std::string_view empty : {std::string_view(), std::string_view("")}) {
        const auto result = read(empty);
        ASSERT_TRUE(result.has_value()) << result.error().description;
        EXPECT_TRUE(result->empty());
    }
}

TEST(YAMLSerializationLimits, depthAtTheLimitIsRead) {
    const std::size_t depth = YAMLSerialization::kMaxDepth;
    const auto result = read(repeated("[", depth) + repeated("]", depth));
    ASSERT_TRUE(result.has_value()) << result.error().description;
    const JsonValue* value = &(*result)[0];
    std::size_t levels = 0;
    while (value->isArray()) {
        ++levels;
        value = value->asArray().empty() ? nullptr : &value->asArray()[0];
        if (value == nullptr) {
            break;
        }
    }
    EXPECT_EQ(levels, depth);
}

TEST(YAMLSerializationLimits, aliasesWithinTheBoundAreRead) {
    // Four levels of ten: 10^4 texts, far below the bound.
    std::string yaml = "a0: &a0 lol\n";
    for (int level = 1; level <= 4; ++level) {
        yaml += "a" + std::to_string(level) + ": &a" + std::to_string(level) + " [";
        for (int i = 0; i < 10; ++i) {
            yaml += (i == 0 ? "*a" : ", *a") + std::to_string(level - 1);
        }
        yaml += "]\n";
    }
    const auto result = read(yaml);
    ASSERT_TRUE(result.has_value()) << result.error().description;
    const JsonValue* level4 = (*result)[0].member("a4");
    ASSERT_NE(level4, nullptr);
    EXPECT_EQ(level4->asArray().size(), 10u);
    EXPECT_EQ(level4->asArray()[9].asArray()[9].asArray()[9].asArray()[9], JsonValue("lol"));
}

TEST(YAMLSerializationOptions, onlyStringScalarsIsAccepted) {
    for (const int options : {0, 1, 4095, 4097, 4096 | 8192, -1}) {
        const auto result = YAMLSerialization::YAMLWithData("a: b\n", options);
        ASSERT_FALSE(result.has_value()) << options;
        EXPECT_EQ(result.error().domain, kYAMLErrorDomain);
        EXPECT_EQ(result.error().code, 4);
        EXPECT_EQ(result.error().description,
                  "Currently only kYAMLReadOptionStringScalars is supported");
    }
    EXPECT_TRUE(YAMLSerialization::YAMLWithData("a: b\n", 4096).has_value());
}

}  // namespace
}  // namespace miravel
