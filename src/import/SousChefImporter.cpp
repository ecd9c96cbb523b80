#include "import/SousChefImporter.h"

#include <regex>

#include "import/YamlImporter.h"
#include "lib/TextPieces.h"
#include "model/Recipe.h"

namespace miravel {

namespace {

bool isNullText(std::string_view text) {
    return text.empty() || text == "(null)";
}

}  // namespace

std::optional<SousChefImporter::Split> SousChefImporter::find(std::string_view text,
                                                              std::string_view delimiter) {
    const auto at = text.find(delimiter);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    return Split{text.substr(0, at), text.substr(at + delimiter.size())};
}

std::optional<SousChefImporter::Split> SousChefImporter::rfind(std::string_view text,
                                                               std::string_view delimiter) {
    const auto at = text.rfind(delimiter);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    return Split{text.substr(0, at), text.substr(at + delimiter.size())};
}

std::string SousChefImporter::sortAndJoin(const std::map<std::int64_t, std::string>& table,
                                          std::string_view separator) {
    std::string text;
    bool first = true;
    for (const auto& entry : table) {
        if (!first) {
            text += separator;
        }
        text += entry.second;
        first = false;
    }
    return text;
}

std::string SousChefImporter::getUrlSource(std::string_view address) {
    std::string_view host = address;
    if (auto scheme = find(host, "://")) {
        host = scheme->after;
    }
    host = host.substr(0, host.find_first_of("/?#:"));
    if (host.starts_with("www.")) {
        host.remove_prefix(4);
    }
    std::string source(host);
    if (!source.empty()) {
        source[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(source[0])));
    }
    return source;
}

Result<void> SousChefImporter::finishRecipe(std::string note) {
    if (!m_recipe) {
        return {};
    }
    m_recipe->setIngredients(sortAndJoin(m_ingredients, "\n"));
    m_recipe->setDirections(sortAndJoin(m_directions, "\n\n"));
    m_recipe->setNotes(sortAndJoin(m_notes, "\n\n"));
    auto finished = recipeFinished(*m_recipe, std::move(note), m_recipeLine);
    m_recipe.reset();
    return finished;
}

Result<void> SousChefImporter::readLine(std::string_view key, std::string_view value,
                                        std::size_t line) {
    if (key == "BEGIN") {
        if (auto finished = finishRecipe("no END line: ended at the next BEGIN"); !finished) {
            return finished;
        }
        m_recipe = insertRecipe();
        m_recipeLine = line;
        m_ingredients.clear();
        m_directions.clear();
        m_notes.clear();
        return {};
    }
    if (!m_recipe) {
        passedOver(line, std::string(key) + ":" + std::string(value),
                   "not inside a recipe (before its BEGIN or after its END)");
        return {};
    }
    Recipe& recipe = *m_recipe;
    if (key == "END") {
        return finishRecipe({});
    }
    if (key == "NAME") {
        recipe.setName(std::string(value));
    } else if (key == "COOKTIME") {
        recipe.setCookTime(std::string(value));
    } else if (key == "PREPTIME") {
        recipe.setPrepTime(std::string(value));
    } else if (key == "YIELD") {
        recipe.setServings(std::string(value));
    } else if (key == "NOTE") {
        if (auto split = rfind(value, ":"); split && !isNullText(split->after)) {
            m_notes[leadingInteger(split->before)] = std::string(split->after);
        }
    } else if (key == "KITCHEN") {
        if (value.starts_with("http://")) {
            recipe.setSource(getUrlSource(value));
            recipe.setSourceUrl(std::string(value));
        } else {
            recipe.setSource(std::string(value));
        }
    } else if (key == "CATEGORY") {
        addCategoryToRecipe(value, recipe);
    } else if (key == "ING") {
        // The fields before the last ";" are SousChef's own; a line without any has the text
        // right after its position.
        const auto position = find(value, ":");
        const auto fields = rfind(value, ";");
        const std::string_view text = fields ? fields->after : (position ? position->after : value);
        if (!isNullText(text)) {
            m_ingredients[position ? leadingInteger(position->before) : 0] = std::string(text);
        }
    } else if (key == "DIR") {
        if (auto split = find(value, ":"); split && !isNullText(split->after)) {
            m_directions[leadingInteger(split->before)] =
                std::string(split->before) + ". " + std::string(split->after);
        }
    } else if (key == "DESCRIPTION") {
        static const std::regex kDescription("<<start>>(.*)<<end>>");
        std::match_results<std::string_view::const_iterator> match;
        if (std::regex_search(value.begin(), value.end(), match, kDescription) &&
            match[1].str() != "(null)") {
            m_notes[0] = match[1].str();
        }
    }
    return {};
}

ImportOutcome SousChefImporter::parseFile(const std::filesystem::path& path) {
    auto text = readText(getImportFilePath(path));
    if (!text) {
        return outcome(text.error());
    }
    std::string_view rest = *text;
    std::size_t lineNumber = 0;
    bool anyLine = false;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        std::string buffer;
        // Carriage returns of Windows line ends (and stray control bytes) are no part of a
        // value: a name would end in one, and "(null)" would not be recognised.
        const std::string_view line = cleanedLine(rest.substr(0, end), buffer);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        ++lineNumber;
        if (cancelled()) {
            break;
        }
        const auto split = find(line, ":");
        // "BEGIN" and "END" say all they mean by their key; any value after them is passed by.
        const bool marker = split && (split->before == "BEGIN" || split->before == "END");
        if (!split || split->before.empty() || (isNullText(split->after) && !marker)) {
            anyLine = anyLine || !trimCharacters(line, kWhiteSpace).empty();
            continue;
        }
        anyLine = true;
        if (auto read = readLine(split->before, split->after, lineNumber); !read) {
            (void)saveNow();
            return outcome(read.error());
        }
        reportBytes(text->size() - rest.size(), text->size());
    }
    if (!cancelled()) {
        if (auto finished = finishRecipe("no END line: ended at the end of the file"); !finished) {
            (void)saveNow();
            return outcome(finished.error());
        }
    }
    noteCleaning();
    if (auto saved = saveNow(); !saved) {
        return outcome(saved.error());
    }
    if (anyLine && savedCount() == 0 && !cancelled()) {
        return outcome(
            importError("File not recognized.", "the file holds no BEGIN ... END recipe"));
    }
    return outcome();
}

}  // namespace miravel
