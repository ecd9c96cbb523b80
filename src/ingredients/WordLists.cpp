#include "ingredients/WordLists.h"

#include <optional>
#include <utility>

#include "lib/AtomicFile.h"
#include "lib/Log.h"
#include "lib/ResourceFolder.h"
#include "lib/Utf8.h"
#include "lib/YAMLSerialization.h"

namespace miravel {

namespace {

constexpr const char* kParserFileName = "parser.yml";

struct NamedList {
    const char* key;
    WordLists::List list;
};

// In the order multi-word entries are filed: adjectives, phrases, preparations, terminators.
constexpr NamedList kNamedLists[] = {
    {"adjectives", WordLists::kAdjectives},
    {"phrases", WordLists::kPhrases},
    {"preparations", WordLists::kPreparations},
    {"terminators", WordLists::kTerminators},
    {"colors", WordLists::kColors},
    {"conjunctions", WordLists::kConjunctions},
    {"fractions", WordLists::kFractions},
    {"numerics", WordLists::kNumerics},
    {"prepositions", WordLists::kPrepositions},
    {"punctuation", WordLists::kPunctuation},
    {"ranges", WordLists::kRanges},
    {"sizes", WordLists::kSizes},
};

constexpr std::uint32_t kMultiWordLists = WordLists::kAdjectives | WordLists::kPhrases |
                                          WordLists::kPreparations | WordLists::kTerminators;

// The one code point of a single-character entry, or nothing.
std::optional<char32_t> singleCharacter(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    std::size_t position = 0;
    char32_t c = nextUtf8(text, position);
    if (position != text.size()) {
        return std::nullopt;
    }
    return c;
}

// A unit entry is [singular, plural]; its first element is a form, and the second when it
// differs.
void addUnitPair(WordLists& lists, const JsonValue& pair) {
    if (!pair.isArray() || pair.asArray().empty() || !pair.asArray()[0].isString()) {
        return;
    }
    const std::string& singular = pair.asArray()[0].asString();
    lists.add(WordLists::kUnits, singular);
    if (pair.asArray().size() > 1 && pair.asArray()[1].isString() &&
        pair.asArray()[1].asString() != singular) {
        lists.add(WordLists::kUnits, pair.asArray()[1].asString());
    }
}

}  // namespace

Result<WordLists> WordLists::fromYAML(std::string_view yaml) {
    auto documents = YAMLSerialization::YAMLWithData(yaml, kYAMLReadOptionStringScalars);
    if (!documents) {
        return std::unexpected(std::move(documents.error()));
    }
    WordLists lists;
    if (documents->empty() || !documents->back().isObject()) {
        return lists;
    }
    const JsonObject& root = documents->back().asObject();
    for (const NamedList& named : kNamedLists) {
        const JsonValue* entries = root.find(named.key);
        if (entries == nullptr || !entries->isArray()) {
            continue;
        }
        for (const JsonValue& entry : entries->asArray()) {
            if (entry.isString()) {
                lists.add(named.list, entry.asString());
            }
        }
    }
    if (const JsonValue* units = root.find("units"); units != nullptr && units->isArray()) {
        for (const JsonValue& entry : units->asArray()) {
            if (entry.isObject()) {
                const JsonValue* variations = entry.asObject().find("variations");
                if (variations != nullptr && variations->isArray()) {
                    for (const JsonValue& pair : variations->asArray()) {
                        addUnitPair(lists, pair);
                    }
                }
            } else {
                addUnitPair(lists, entry);
            }
        }
    }
    return lists;
}

Result<WordLists> WordLists::fromFile(const std::filesystem::path& file) {
    auto bytes = readFile(file);
    if (!bytes) {
        return std::unexpected(std::move(bytes.error()));
    }
    return fromYAML(*bytes);
}

WordLists WordLists::fromResources() {
    auto path = resourcePath(kParserFileName);
    if (!path) {
        logLine("Ingredient word lists unavailable: {}", path.error().description);
        return WordLists();
    }
    auto lists = fromFile(*path);
    if (!lists) {
        logLine("Ingredient word lists unavailable: {}", lists.error().description);
        return WordLists();
    }
    return std::move(*lists);
}

void WordLists::add(List list, std::string word) {
    if (list == kFractions || list == kPunctuation) {
        if (auto c = singleCharacter(word)) {
            (list == kFractions ? m_fractionCharacters : m_punctuationCharacters).insert(*c);
        }
    }
    if ((list & kMultiWordLists) != 0 && word.find(' ') != std::string::npos) {
        std::vector<std::string> sequence;
        std::string_view rest = word;
        while (!rest.empty()) {
            std::size_t space = rest.find(' ');
            std::string_view piece = rest.substr(0, space);
            if (!piece.empty()) {
                sequence.emplace_back(piece);
            }
            rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
        }
        if (sequence.size() > 1) {
            std::string first = std::move(sequence.front());
            sequence.erase(sequence.begin());
            m_multiWord[first].push_back(std::move(sequence));
            m_words[first] |= kMultiWordKey;
        }
    }
    if (list == kUnits) {
        m_units.push_back(word);
    } else {
        m_entries[list].push_back(word);
    }
    m_words[std::move(word)] |= list;
}

const std::vector<std::vector<std::string>>* WordLists::multiWordSequences(
    std::string_view first) const {
    auto found = m_multiWord.find(first);
    return found == m_multiWord.end() ? nullptr : &found->second;
}

const std::vector<std::string>& WordLists::entries(List list) const {
    if (list == kUnits) {
        return m_units;
    }
    static const std::vector<std::string> kNone;
    auto found = m_entries.find(list);
    return found == m_entries.end() ? kNone : found->second;
}

}  // namespace miravel
