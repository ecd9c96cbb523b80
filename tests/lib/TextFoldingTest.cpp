#include "lib/TextFolding.h"

#include <gtest/gtest.h>

#include <string>

namespace miravel {
namespace {

struct FoldingCase {
    std::string name;
    std::string input;
    std::string foldedCase;
    std::string foldedDiacritics;
    std::string foldedBoth;
};

class TextFoldingFolds : public ::testing::TestWithParam<FoldingCase> {};

TEST_P(TextFoldingFolds, eachWay) {
    const FoldingCase& c = GetParam();
    EXPECT_EQ(foldCase(c.input), c.foldedCase);
    EXPECT_EQ(foldDiacritics(c.input), c.foldedDiacritics);
    EXPECT_EQ(foldCaseAndDiacritics(c.input), c.foldedBoth);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(TextFolding, TextFoldingFolds, ::testing::Values(
    FoldingCase{"empty", "", "", "", ""},
    FoldingCase{"ascii", "Hello, World! 42", "hello, world! 42", "Hello, World! 42", "hello, world! 42"},
    FoldingCase{"latinAccents", "Crème Brûlée", "crème brûlée", "Creme Brulee", "creme brulee"},
    FoldingCase{"upperAccents", "CRÈME", "crème", "CREME", "creme"},
    // Full case folding changes the length.
    FoldingCase{"sharpS", "Straße", "strasse", "Straße", "strasse"},
    FoldingCase{"dottedCapitalI", "İstanbul", "i\u0307stanbul", "Istanbul", "istanbul"},
    FoldingCase{"decomposedAccent", "Cafe\u0301", "cafe\u0301", "Cafe", "cafe"},
    // A letter of its own, not a letter with a mark: nothing to remove.
    FoldingCase{"strokeIsNoDiacritic", "ØRSTED", "ørsted", "ØRSTED", "ørsted"},
    FoldingCase{"titlecaseDigraph", "ǅ", "ǆ", "ǅ", "ǆ"},
    FoldingCase{"greekFinalSigma", "ΣΊΣΥΦΟς", "σίσυφοσ", "ΣΙΣΥΦΟς", "σισυφοσ"},
    FoldingCase{"cjkUnchanged", "日本", "日本", "日本", "日本"},
    FoldingCase{"invalidByte", "A\xFF" "b", "a\uFFFDb", "A\uFFFDb", "a\uFFFDb"},
    FoldingCase{"truncatedSequence", "X\xC3", "x\uFFFD", "X\uFFFD", "x\uFFFD"},
    FoldingCase{"overlongSlash", "\xC0\xAF", "\uFFFD\uFFFD", "\uFFFD\uFFFD", "\uFFFD\uFFFD"},
    FoldingCase{"embeddedNul", std::string("a\0B", 3), std::string("a\0b", 3), std::string("a\0B", 3),
                std::string("a\0b", 3)}),
    [](const auto& info) { return info.param.name; });
// clang-format on

std::string utf8(char32_t c) {
    std::string text;
    if (c < 0x80) {
        text.push_back(static_cast<char>(c));
    } else {
        text.push_back(static_cast<char>(0xC0 | (c >> 6)));
        text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
    return text;
}

// Latin text is folded from a table, character by character; a CJK character sends the same
// text through ICU as a whole. Both must give the same, for every Latin character and next to
// its neighbours.
TEST(TextFolding, latinShortcutAgreesWithIcu) {
    const std::string cjk = "\xE4\xB8\x80";  // U+4E00 folds to itself and combines with nothing
    using Fold = std::string (*)(std::string_view);
    for (const Fold fold : {Fold(foldCase), Fold(foldDiacritics), Fold(foldCaseAndDiacritics)}) {
        for (char32_t c = 0x80; c < 0x250; ++c) {
            const std::string text = "A" + utf8(c) + utf8(c + 1 < 0x250 ? c + 1 : 'z') + "b";
            const std::string shortcut = fold(text);
            std::string throughIcu = fold(text + cjk);
            ASSERT_TRUE(throughIcu.ends_with(cjk));
            throughIcu.resize(throughIcu.size() - cjk.size());
            EXPECT_EQ(shortcut, throughIcu) << "U+" << std::hex << static_cast<unsigned>(c);
        }
    }
}

}  // namespace
}  // namespace miravel
