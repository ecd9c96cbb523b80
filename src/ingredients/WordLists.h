#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "lib/Error.h"
#include "lib/StringMap.h"

namespace miravel {

// The word lists of the ingredient parser, from "parser.yml".
//
// Every word is filed once in a hash map with the set of lists that hold it, so one lookup
// answers every membership question about a token (a letter group is tested against up to
// nine lists).
class WordLists {
public:
    enum List : std::uint32_t {
        kUnits = 1u << 0,
        kPreparations = 1u << 1,
        kAdjectives = 1u << 2,
        kSizes = 1u << 3,
        kPrepositions = 1u << 4,
        kConjunctions = 1u << 5,
        kRanges = 1u << 6,
        kNumerics = 1u << 7,
        kColors = 1u << 8,
        kPhrases = 1u << 9,
        kTerminators = 1u << 10,
        kFractions = 1u << 11,
        kPunctuation = 1u << 12,
        kMultiWordKey = 1u << 13,  // the first word of a multi-word entry
    };

    // Empty lists: every letter group is a name word.
    WordLists() = default;
    // The lists of the last document of a YAML text; unreadable YAML is an error, entries of
    // the wrong shape are skipped.
    [[nodiscard]] static Result<WordLists> fromYAML(std::string_view yaml);
    [[nodiscard]] static Result<WordLists> fromFile(const std::filesystem::path& file);
    // "parser.yml" of the resource folder; a missing or unreadable file is logged and gives
    // the empty lists.
    static WordLists fromResources();

    // The lists holding `word` (a bit set of List), 0 for none.
    std::uint32_t lists(std::string_view word) const {
        auto found = m_words.find(word);
        return found == m_words.end() ? 0 : found->second;
    }
    bool contains(std::uint32_t list, std::string_view word) const {
        return (lists(word) & list) != 0;
    }
    // Single code points of "fractions" and "punctuation".
    bool isFractionCharacter(char32_t c) const { return m_fractionCharacters.contains(c); }
    bool isPunctuationCharacter(char32_t c) const { return m_punctuationCharacters.contains(c); }

    // The word sequences filed under the first word of multi-word entries of "adjectives",
    // "phrases", "preparations" and "terminators", in that order.
    const std::vector<std::vector<std::string>>* multiWordSequences(std::string_view first) const;

    // Every unit form (singular and plural) of "units".
    const std::vector<std::string>& units() const { return m_units; }
    // The entries of a list as written, in file order (kUnits gives units()).
    const std::vector<std::string>& entries(List list) const;

    void add(List list, std::string word);

private:
    StringMap<std::uint32_t> m_words;
    StringMap<std::vector<std::vector<std::string>>> m_multiWord;
    std::unordered_set<char32_t> m_fractionCharacters;
    std::unordered_set<char32_t> m_punctuationCharacters;
    std::vector<std::string> m_units;
    std::unordered_map<std::uint32_t, std::vector<std::string>> m_entries;
};

}  // namespace miravel
