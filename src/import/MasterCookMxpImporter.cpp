#include "import/MasterCookMxpImporter.h"

#include "lib/TextPieces.h"
#include "model/Recipe.h"

namespace miravel {

namespace {

constexpr std::string_view kBlanksAndTabs = " \t";

std::size_t skipSpace(std::string_view text, std::size_t at) {
    while (at < text.size() && isWhiteSpace(text[at])) {
        ++at;
    }
    return at;
}

// Whether `word` stands at `at`; moves past it.
bool takeWord(std::string_view text, std::size_t& at, std::string_view word) {
    if (text.substr(at).starts_with(word)) {
        at += word.size();
        return true;
    }
    return false;
}

// "* Exported from MasterCook *", "*  Exported from  MasterCook II  *", anywhere in the line.
bool isBanner(std::string_view line) {
    for (auto star = line.find('*'); star != std::string_view::npos;
         star = line.find('*', star + 1)) {
        std::size_t at = skipSpace(line, star + 1);
        if (!takeWord(line, at, "Exported")) {
            continue;
        }
        std::size_t next = skipSpace(line, at);
        if (next == at || !takeWord(line, next, "from")) {
            continue;
        }
        at = skipSpace(line, next);
        if (at == next || !takeWord(line, at, "MasterCook")) {
            continue;
        }
        if (at + 3 <= line.size() && isWhiteSpace(line[at]) && line.substr(at + 1, 2) == "II") {
            const std::size_t afterTwo = skipSpace(line, at + 3);
            if (afterTwo < line.size() && line[afterTwo] == '*') {
                return true;
            }
        }
        at = skipSpace(line, at);
        if (at < line.size() && line[at] == '*') {
            return true;
        }
    }
    return false;
}

// The text with every "LABEL :" (blanks allowed before the colon) taken out.
std::string withoutLabel(std::string_view text, std::string_view label) {
    std::string result;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto found = text.find(label, at);
        if (found == std::string_view::npos) {
            break;
        }
        const std::size_t colon = skipSpace(text, found + label.size());
        if (colon < text.size() && text[colon] == ':') {
            result.append(text.substr(at, found - at));
            at = colon + 1;
        } else {
            result.append(text.substr(at, found + label.size() - at));
            at = found + label.size();
        }
    }
    result.append(text.substr(std::min(at, text.size())));
    return result;
}

// Pieces of the text between runs of two or more white-space characters.
std::vector<std::string> splitAtWideGaps(std::string_view text) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (std::size_t at = 0; at < text.size();) {
        if (isWhiteSpace(text[at]) && at + 1 < text.size() && isWhiteSpace(text[at + 1])) {
            pieces.emplace_back(text.substr(start, at - start));
            at = skipSpace(text, at);
            start = at;
        } else {
            ++at;
        }
    }
    pieces.emplace_back(text.substr(start));
    return pieces;
}

std::string composedTime(std::string_view hours, std::string_view minutes) {
    std::string result;
    if (hours != "0") {
        result = std::string(hours) + " hr";
    }
    if (!result.empty()) {
        result += ' ';
    }
    result += std::string(minutes == "00" ? "0" : minutes) + " min";
    return result;
}

std::string elapsedTime(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || text.find(':', colon + 1) != std::string_view::npos) {
        return {};
    }
    return composedTime(text.substr(0, colon), text.substr(colon + 1));
}

enum class State { Outside, Title, Ingredients, Directions, Categories, Notes };

}  // namespace

std::string masterCookElapsedTime(std::string_view text) {
    return elapsedTime(text);
}

std::optional<std::string> MasterCookMxpImporter::parsePrepTime(std::string_view text) {
    text = trimCharacters(text, kBlanksAndTabs);
    if (text.empty() || text == ":") {
        return std::nullopt;
    }
    return elapsedTime(text);
}

Result<void> MasterCookMxpImporter::saveRecipe(const Fields& fields,
                                               const std::vector<std::string>& ingredients,
                                               const std::vector<std::string>& directions,
                                               const std::vector<std::string>& notes,
                                               const std::vector<std::string>& categories,
                                               std::size_t line) {
    auto recipe = insertRecipe();
    recipe->setName(fields.name);
    recipe->setServings(fields.servings);
    recipe->setSource(fields.source);
    recipe->setPrepTime(fields.prepTime);
    recipe->setIngredients(joined(ingredients, "\n"));
    std::string text;
    for (const std::string& piece : directions) {
        text += piece;
    }
    recipe->setDirections(std::string(trimCharacters(text, kWhiteSpace)));
    recipe->setNotes(std::string(trimCharacters(joined(notes, " "), kWhiteSpace)));
    for (const std::string& category : categories) {
        addCategoryToRecipe(category, *recipe);
    }
    return recipeFinished(*recipe, {}, line);
}

ImportOutcome MasterCookMxpImporter::parseFile(const std::filesystem::path& path) {
    auto text = readText(getImportFilePath(path));
    if (!text) {
        return outcome(text.error());
    }
    struct OpenRecipe {
        Fields fields;
        std::vector<std::string> ingredients, directions, categories, notes;
        std::size_t line = 0;
        std::size_t titleLine = 0;
    };
    std::optional<OpenRecipe> open;
    State state = State::Outside;
    const auto save = [&]() -> Result<void> {
        OpenRecipe recipe = std::move(*open);
        open.reset();
        return saveRecipe(recipe.fields, recipe.ingredients, recipe.directions, recipe.notes,
                          recipe.categories, recipe.line);
    };
    const std::string_view all = *text;
    std::string buffer;
    std::size_t number = 0;
    for (std::size_t start = 0; start < all.size();) {
        auto end = all.find('\n', start);
        if (end == std::string_view::npos) {
            end = all.size();
        }
        ++number;
        const std::string_view line = cleanedLine(all.substr(start, end - start), buffer);
        start = end + 1;
        reportBytes(std::min(start, all.size()), all.size());
        const std::string_view trimmed = trimCharacters(line, kBlanksAndTabs);
        if (isBanner(trimmed)) {
            if (open) {
                if (auto saved = save(); !saved) {
                    (void)saveNow();
                    return outcome(saved.error());
                }
            }
            if (cancelled()) {
                break;
            }
            open.emplace();
            open->line = number;
            state = State::Title;
            continue;
        }
        if (!open) {
            // Only the banner opens a recipe; what comes before the first is not one.
            if (!trimmed.empty()) {
                passedOver(number, std::string(trimmed), "before the first recipe");
            }
            continue;
        }
        OpenRecipe& recipe = *open;
        if (trimmed.starts_with("Recipe By")) {
            recipe.fields.source = withoutLabel(trimmed, "Recipe By");
        } else if (trimmed.starts_with("Serving Size")) {
            std::size_t colon = skipSpace(trimmed, std::string_view("Serving Size").size());
            const auto time = trimmed.rfind("Preparation Time");
            std::size_t timeColon =
                time == std::string_view::npos
                    ? std::string_view::npos
                    : skipSpace(trimmed, time + std::string_view("Preparation Time").size());
            // The label of the time is the last one in the line that a colon follows.
            if (colon < trimmed.size() && trimmed[colon] == ':' &&
                timeColon != std::string_view::npos && timeColon < trimmed.size() &&
                trimmed[timeColon] == ':' && time > colon) {
                const std::string_view servings =
                    trimCharacters(trimmed.substr(colon + 1, time - colon - 1), kBlanksAndTabs);
                if (!servings.empty()) {
                    recipe.fields.servings = std::string(servings) + " servings";
                }
                if (auto prepTime = parsePrepTime(trimmed.substr(timeColon + 1))) {
                    recipe.fields.prepTime = std::move(*prepTime);
                }
            }
        } else if (trimmed.starts_with("Preparation")) {
            state = State::Directions;
        } else if (trimmed.empty() && state == State::Ingredients) {
            state = State::Directions;
        } else if (trimmed.starts_with("Amount") &&
                   trimmed.find("Ingredient -- Preparation Method") != std::string_view::npos) {
            state = State::Ingredients;
        } else if (trimmed.starts_with("Categories")) {
            for (std::string& piece : splitAtWideGaps(withoutLabel(trimmed, "Categories"))) {
                recipe.categories.push_back(std::move(piece));
            }
            state = State::Categories;
        } else if (trimmed.starts_with("NOTES")) {
            recipe.notes.push_back(withoutLabel(trimmed, "NOTES"));
            state = State::Notes;
        } else if (trimmed.starts_with("---") || trimmed.starts_with("- - - - - - -")) {
            // The rule under the ingredient heading, and the one before the nutrition notes.
        } else {
            switch (state) {
                case State::Directions:
                    if (!trimmed.empty()) {
                        // Lines of one paragraph wrap: they join with a blank.
                        if (!recipe.directions.empty() && recipe.directions.back() != "\n\n") {
                            recipe.directions.emplace_back(" ");
                        }
                        recipe.directions.emplace_back(trimmed);
                    } else if (!recipe.directions.empty() && recipe.directions.back() != "\n\n") {
                        recipe.directions.emplace_back("\n\n");
                    }
                    break;
                case State::Ingredients:
                    if (!trimmed.empty()) {
                        recipe.ingredients.push_back(collapsedBlanks(trimmed));
                    }
                    break;
                case State::Categories:
                    if (!trimmed.empty()) {
                        for (std::string& piece : splitAtWideGaps(trimmed)) {
                            recipe.categories.push_back(std::move(piece));
                        }
                    }
                    break;
                case State::Notes:
                    if (!trimmed.empty()) {
                        recipe.notes.emplace_back(trimmed);
                    }
                    break;
                case State::Title:
                    if (!trimmed.empty()) {
                        if (recipe.fields.name) {
                            passedOver(recipe.titleLine, *recipe.fields.name,
                                       "a later line took its place as the title");
                        }
                        recipe.fields.name = std::string(trimmed);
                        recipe.titleLine = number;
                    }
                    break;
                case State::Outside:
                    break;
            }
        }
    }
    if (open && !cancelled()) {
        if (auto saved = save(); !saved) {
            (void)saveNow();
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
