#include "import/MealMasterImporter.h"

#include <unicode/uchar.h>

#include "lib/TextPieces.h"
#include "lib/Utf8.h"
#include "model/Recipe.h"

namespace miravel {

namespace {

constexpr std::string_view kBlanksAndTabs = " \t";

// MealMaster prints an ingredient in fixed columns: the amount in the first seven, a blank,
// a unit of two letters, a blank, and the text from the twelfth on. A two-column layout puts
// a second such column at the forty-second.
constexpr std::size_t kAmountWidth = 7;
constexpr std::size_t kUnitStart = 8;
constexpr std::size_t kTextStart = 11;
constexpr std::size_t kColumnWidth = 41;

bool isHeaderLine(std::string_view trimmed) {
    return (trimmed.starts_with("MMMMM----") || trimmed.starts_with("-----")) &&
           trimmed.find("Meal-Master") != std::string_view::npos;
}

bool isEndLine(std::string_view trimmed) {
    return trimmed == "MMMMM" || trimmed == "-----";
}

// The title of a section line: four or five M's (or none, as older writers have it), five
// or more dashes, the title, five or more dashes.
std::optional<std::string_view> sectionTitle(std::string_view trimmed) {
    std::size_t at = 0;
    while (at < trimmed.size() && trimmed[at] == 'M') {
        ++at;
    }
    if (at != 0 && at != 4 && at != 5) {
        return std::nullopt;
    }
    const std::size_t dashesStart = at;
    while (at < trimmed.size() && trimmed[at] == '-') {
        ++at;
    }
    if (at - dashesStart < 5) {
        return std::nullopt;
    }
    std::size_t end = trimmed.size();
    while (end > at && trimmed[end - 1] == '-') {
        --end;
    }
    if (trimmed.size() - end < 5) {
        return std::nullopt;
    }
    const std::string_view title = trimCharacters(trimmed.substr(at, end - at), kWhiteSpace);
    if (title.empty()) {
        return std::nullopt;
    }
    return title;
}

// "TOMATO SAUCE" as "Tomato Sauce": each blank-separated word with a capital first letter.
std::string capitalized(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    bool wordStart = true;
    for (std::size_t position = 0; position < text.size();) {
        char32_t codePoint = nextUtf8(text, position);
        if (codePoint == ' ') {
            wordStart = true;
            result.push_back(' ');
            continue;
        }
        codePoint = static_cast<char32_t>(wordStart ? u_toupper(static_cast<UChar32>(codePoint))
                                                    : u_tolower(static_cast<UChar32>(codePoint)));
        wordStart = false;
        appendUtf8(result, codePoint);
    }
    return result;
}

bool isAmountCharacter(char ch) {
    return ch == ' ' || ch == '/' || ch == '.' || ch == '-' || (ch >= '0' && ch <= '9');
}

bool isUnitCharacter(char ch) {
    return ch == ' ' || (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
}

// Whether a column of text is laid out as a MealMaster ingredient: an amount (or nothing),
// a unit code (or nothing) and some text, each in its place.
bool looksLikeIngredientColumn(std::string_view column) {
    if (column.size() <= kTextStart || column[kTextStart] == ' ') {
        return false;
    }
    for (std::size_t i = 0; i < kAmountWidth; ++i) {
        if (!isAmountCharacter(column[i])) {
            return false;
        }
    }
    return column[kAmountWidth] == ' ' && isUnitCharacter(column[kUnitStart]) &&
           isUnitCharacter(column[kUnitStart + 1]) && column[kUnitStart + 2] == ' ';
}

// A line of two ingredient columns, cut where the second begins.
std::optional<std::pair<std::string_view, std::string_view>> twoColumns(std::string_view line) {
    if (line.size() <= kColumnWidth + kTextStart || line.find('\t') != std::string_view::npos ||
        line[kColumnWidth - 1] != ' ') {
        return std::nullopt;
    }
    const std::string_view left = line.substr(0, kColumnWidth);
    const std::string_view right = line.substr(kColumnWidth);
    if (!looksLikeIngredientColumn(right)) {
        return std::nullopt;
    }
    // The left column may be empty when the right one is longer, or hold a continuation.
    if (!trimCharacters(left, kBlanksAndTabs).empty() && !looksLikeIngredientColumn(left)) {
        return std::nullopt;
    }
    return std::pair{left, right};
}

// The text of a continuation line ("-room temperature" with nothing in the amount and unit
// columns), which belongs to the ingredient above; nothing for any other line.
std::optional<std::string_view> continuationText(std::string_view column) {
    const auto first = column.find_first_not_of(kBlanksAndTabs);
    if (first == std::string_view::npos || first < kUnitStart || column[first] != '-') {
        return std::nullopt;
    }
    const std::string_view rest = trimCharacters(column.substr(first + 1), kBlanksAndTabs);
    if (rest.empty()) {
        return std::nullopt;
    }
    return rest;
}

}  // namespace

std::string_view MealMasterImporter::lineTitle(std::string_view line) {
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) {
        return {};
    }
    return trimCharacters(line.substr(0, colon), kWhiteSpace);
}

std::string_view MealMasterImporter::lineValue(std::string_view line) {
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) {
        return {};
    }
    return trimCharacters(line.substr(colon + 1), kWhiteSpace);
}

Result<void> MealMasterImporter::saveRecipe(const Fields& fields,
                                            const std::vector<std::string>& ingredients,
                                            const std::vector<std::string>& directions,
                                            const std::vector<std::string>& categories,
                                            std::size_t line, std::string note) {
    auto recipe = insertRecipe();
    recipe->setName(fields.name);
    recipe->setServings(fields.servings);
    recipe->setIngredients(std::string(trimCharacters(joined(ingredients, "\n"), kWhiteSpace)));
    std::string text;
    for (const std::string& piece : directions) {
        text += piece;
    }
    recipe->setDirections(std::string(trimCharacters(text, kWhiteSpace)));
    for (const std::string& category : categories) {
        addCategoryToRecipe(category, *recipe);
    }
    return recipeFinished(*recipe, std::move(note), line);
}

void MealMasterImporter::addColumnItem(std::string_view item) {
    OpenRecipe& open = *m_open;
    const std::string_view trimmed = trimCharacters(item, kBlanksAndTabs);
    if (trimmed.empty()) {
        return;
    }
    if (auto continued = continuationText(item); continued && open.lastIsIngredient) {
        open.ingredients.back() += ' ';
        open.ingredients.back() += collapsedBlanks(*continued);
        return;
    }
    open.ingredients.push_back(collapsedBlanks(trimmed));
    open.lastIsIngredient = true;
}

void MealMasterImporter::addIngredientLine(std::string_view line) {
    if (auto columns = twoColumns(line)) {
        addColumnItem(columns->first);
        m_open->rightColumn.emplace_back(columns->second);
        return;
    }
    addColumnItem(line);
}

void MealMasterImporter::flushColumns() {
    if (!m_open || m_open->rightColumn.empty()) {
        return;
    }
    // MealMaster fills the left column first: the right one follows it.
    std::vector<std::string> right = std::move(m_open->rightColumn);
    m_open->rightColumn.clear();
    for (const std::string& item : right) {
        addColumnItem(item);
    }
}

Result<void> MealMasterImporter::closeRecipe(std::string note) {
    flushColumns();
    OpenRecipe open = std::move(*m_open);
    m_open.reset();
    return saveRecipe(open.fields, open.ingredients, open.directions, open.categories, open.line,
                      std::move(note));
}

Result<void> MealMasterImporter::readLine(std::string_view line, std::size_t number) {
    const std::string_view trimmed = trimCharacters(line, kBlanksAndTabs);
    if (isHeaderLine(trimmed)) {
        if (m_open) {
            // A recipe whose end line is missing ends where the next one begins.
            if (auto saved = closeRecipe("no end line: the recipe ends where the next begins");
                !saved) {
                return saved;
            }
        }
        m_open.emplace();
        m_open->line = number;
        m_state = State::Header;
        return {};
    }
    if (isEndLine(trimmed)) {
        m_state = State::Outside;
        return m_open ? closeRecipe() : Result<void>{};
    }
    const std::string_view title = lineTitle(trimmed);
    if (title == "Title") {
        flushColumns();
        if (m_open) {
            m_open->fields.name = std::string(lineValue(trimmed));
        }
        return {};
    }
    if (title == "Servings" || title == "Yield") {
        flushColumns();
        if (m_open) {
            m_open->fields.servings = std::string(lineValue(trimmed));
        }
        m_state = State::Ingredients;
        return {};
    }
    if (title == "Categories") {
        flushColumns();
        if (m_open) {
            std::string_view value = lineValue(trimmed);
            for (std::size_t start = 0; start <= value.size();) {
                const auto comma = std::min(value.find(',', start), value.size());
                m_open->categories.emplace_back(
                    trimCharacters(value.substr(start, comma - start), kWhiteSpace));
                start = comma + 1;
            }
        }
        m_state = State::Categories;
        return {};
    }
    const bool hasIngredients = m_open && !m_open->ingredients.empty();
    if (m_state == State::Ingredients) {
        if (trimmed.empty()) {
            if (hasIngredients) {
                flushColumns();
                m_state = State::Directions;
            }
            return {};
        }
        if (trimmed.starts_with("~--")) {
            flushColumns();
            if (hasIngredients) {
                m_state = State::Directions;
            }
        }
    }
    if (auto section = sectionTitle(trimmed)) {
        flushColumns();
        if (m_open) {
            if (hasIngredients) {
                m_open->ingredients.emplace_back();
            }
            m_open->ingredients.push_back(capitalized(*section) + ":");
            m_open->lastIsIngredient = false;
        }
        m_state = State::Ingredients;
        return {};
    }
    if (!m_open) {
        if (!trimmed.empty()) {
            passedOver(number, std::string(trimmed), "outside any recipe");
        }
        return {};
    }
    if (m_state == State::Directions) {
        auto& pieces = m_open->directions;
        if (!trimmed.empty()) {
            pieces.push_back(std::string(trimmed) + " ");
        } else if (!pieces.empty() && pieces.back() != "\n\n") {
            // A run of empty lines is one paragraph break.
            pieces.emplace_back("\n\n");
        }
        return {};
    }
    if (trimmed.empty()) {
        return {};
    }
    // A recipe without ingredients has its directions right after the yield, or a section
    // of directions follows its heading: a first line that is laid out as no ingredient is
    // and does not begin with a number starts the directions.
    if (m_state == State::Ingredients && !m_open->lastIsIngredient && !trimmed.starts_with("~--") &&
        !looksLikeIngredientColumn(line) && !(trimmed[0] >= '0' && trimmed[0] <= '9')) {
        m_state = State::Directions;
        m_open->directions.push_back(std::string(trimmed) + " ");
        return {};
    }
    addIngredientLine(line);
    return {};
}

ImportOutcome MealMasterImporter::parseFile(const std::filesystem::path& path) {
    auto text = readText(getImportFilePath(path));
    if (!text) {
        return outcome(text.error());
    }
    const std::string_view all = *text;
    std::size_t number = 0;
    std::string buffer;
    for (std::size_t start = 0; start < all.size();) {
        auto end = all.find('\n', start);
        if (end == std::string_view::npos) {
            end = all.size();
        }
        ++number;
        // A recipe read halfway when the import is cancelled is left out.
        if (cancelled()) {
            m_open.reset();
            break;
        }
        const std::string_view line = cleanedLine(all.substr(start, end - start), buffer);
        if (auto read = readLine(line, number); !read) {
            (void)saveNow();
            return outcome(read.error());
        }
        start = end + 1;
        reportBytes(start, all.size());
    }
    if (m_open) {
        if (auto saved = closeRecipe("no end line at the end of the file"); !saved) {
            return outcome(saved.error());
        }
    }
    noteCleaning();
    if (auto saved = saveNow(); !saved) {
        return outcome(saved.error());
    }
    return outcome();
}

}  // namespace miravel
