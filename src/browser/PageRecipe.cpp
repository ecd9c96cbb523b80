#include "browser/PageRecipe.h"

#include <cctype>
#include <cmath>

#include "lib/TextPieces.h"

namespace miravel {

std::vector<std::string> PageRecipe::ingredientLines() const {
    std::vector<std::string> lines;
    for (const IngredientGroup& group : ingredientGroups) {
        lines.insert(lines.end(), group.lines.begin(), group.lines.end());
    }
    return lines;
}

bool PageRecipe::hasIngredients() const {
    for (const IngredientGroup& group : ingredientGroups) {
        if (!group.lines.empty()) {
            return true;
        }
    }
    return false;
}

std::string PageRecipe::ingredientsText() const {
    std::vector<std::string> lines;
    for (const IngredientGroup& group : ingredientGroups) {
        if (!group.heading.empty()) {
            std::string heading = group.heading;
            // A line ending in ":" is what marks a heading; a heading of its own colon keeps one.
            while (!heading.empty() && (heading.back() == ':' || heading.back() == ' ')) {
                heading.pop_back();
            }
            lines.push_back(heading + ":");
        }
        for (const std::string& line : group.lines) {
            // An ingredient that happens to end in ":" would read as a heading.
            lines.push_back(line.ends_with(':') ? line.substr(0, line.size() - 1) : line);
        }
    }
    return joined(lines, "\n");
}

namespace {

JsonValue textOrNull(const std::string& text) {
    return text.empty() ? JsonValue() : JsonValue(text);
}

}  // namespace

JsonObject recipeDictionary(const PageRecipe& recipe, std::string_view pageUrl) {
    JsonObject dictionary;
    dictionary.set("name", textOrNull(recipe.name));
    dictionary.set("ingredients", textOrNull(recipe.ingredientsText()));
    dictionary.set("directions", textOrNull(joined(recipe.directions, "\n")));
    dictionary.set("servings", textOrNull(recipe.servings));
    dictionary.set("prep_time", textOrNull(recipe.prepTime));
    dictionary.set("cook_time", textOrNull(recipe.cookTime));
    dictionary.set("source",
                   textOrNull(pageUrl.empty() ? std::string() : sourceNameForUrl(pageUrl)));
    dictionary.set("source_url", textOrNull(std::string(pageUrl)));
    dictionary.set("image_url", textOrNull(recipe.imageUrl));
    dictionary.set("nutritional_info", textOrNull(recipe.nutrition));
    dictionary.set("notes", textOrNull(recipe.notes));
    return dictionary;
}

std::string sourceNameForUrl(std::string_view url) {
    std::string_view rest = url;
    std::size_t schemeEnd = rest.find("://");
    std::string name;
    const std::string_view scheme =
        schemeEnd == std::string_view::npos ? std::string_view() : rest.substr(0, schemeEnd);
    if (schemeEnd != std::string_view::npos &&
        (scheme.empty() || scheme == "http" || scheme == "https")) {
        rest = rest.substr(schemeEnd + 3);
        if (rest.starts_with("www.")) {
            rest = rest.substr(4);
        }
        std::size_t end = 0;
        while (end < rest.size() && (std::isalnum(static_cast<unsigned char>(rest[end])) ||
                                     rest[end] == '_' || rest[end] == '.' || rest[end] == '-' ||
                                     static_cast<unsigned char>(rest[end]) >= 0x80)) {
            ++end;
        }
        name = end > 0 ? std::string(rest.substr(0, end)) : std::string(url);
    } else {
        name = std::string(url);
    }
    if (!name.empty()) {
        name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    }
    return name;
}

std::optional<DurationText> readIsoDuration(std::string_view text) {
    text = trimCharacters(text, kWhiteSpace);
    if (text.empty() || (text[0] != 'P' && text[0] != 'p')) {
        return std::nullopt;
    }
    double days = 0;
    double minutes = 0;
    bool inTime = false;
    bool any = false;
    for (std::size_t i = 1; i < text.size();) {
        const char designator =
            static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
        if (designator == 'T') {
            inTime = true;
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && (std::isdigit(static_cast<unsigned char>(text[end])) ||
                                     text[end] == '.' || text[end] == ',')) {
            ++end;
        }
        if (end == i || end >= text.size()) {
            return std::nullopt;
        }
        std::string number(text.substr(i, end - i));
        for (char& ch : number) {
            ch = ch == ',' ? '.' : ch;
        }
        char* parsedEnd = nullptr;
        const double value = std::strtod(number.c_str(), &parsedEnd);
        if (parsedEnd != number.c_str() + number.size() || !std::isfinite(value) || value > 1e7) {
            return std::nullopt;
        }
        const char unit = static_cast<char>(std::toupper(static_cast<unsigned char>(text[end])));
        // Hours and seconds come only after the T, years, weeks and days only before it.
        if (((unit == 'H' || unit == 'S') && !inTime) ||
            ((unit == 'Y' || unit == 'W' || unit == 'D') && inTime)) {
            return std::nullopt;
        }
        switch (unit) {
            case 'Y':
                days += value * 365;
                break;
            case 'W':
                days += value * 7;
                break;
            case 'D':
                days += value;
                break;
            case 'H':
                minutes += value * 60;
                break;
            case 'M':
                // M is months before the T and minutes after it.
                if (inTime) {
                    minutes += value;
                } else {
                    days += value * 30;
                }
                break;
            case 'S':
                minutes += value / 60;
                break;
            default:
                return std::nullopt;
        }
        any = true;
        i = end + 1;
    }
    if (!any) {
        return std::nullopt;
    }
    DurationText duration;
    duration.minutes = days * 24 * 60 + minutes;
    const long long wholeDays = std::llround(std::floor(days));
    long long restMinutes =
        std::llround(minutes + (days - static_cast<double>(wholeDays)) * 24 * 60);
    std::vector<std::string> parts;
    if (wholeDays > 0) {
        parts.push_back(std::to_string(wholeDays) + (wholeDays == 1 ? " day" : " days"));
    }
    if (restMinutes >= 60) {
        parts.push_back(std::to_string(restMinutes / 60) + " hr");
        restMinutes %= 60;
    }
    if (restMinutes > 0) {
        parts.push_back(std::to_string(restMinutes) + " min");
    }
    duration.text = joined(parts, " ");
    return duration;
}

std::string resolvedUrl(std::string_view base, std::string_view reference) {
    reference = trimCharacters(reference, kWhiteSpace);
    if (reference.empty()) {
        return {};
    }
    const std::size_t colon = reference.find(':');
    const std::size_t slash = reference.find('/');
    if (colon != std::string_view::npos && (slash == std::string_view::npos || colon < slash) &&
        colon > 0) {
        return std::string(reference);
    }
    const std::size_t schemeEnd = base.find("://");
    if (schemeEnd == std::string_view::npos) {
        return std::string(reference);
    }
    if (reference.starts_with("//")) {
        return std::string(base.substr(0, schemeEnd + 1)) + std::string(reference);
    }
    const std::size_t pathStart = base.find('/', schemeEnd + 3);
    const std::string_view origin = base.substr(0, pathStart);
    if (reference.starts_with("/")) {
        return std::string(origin) + std::string(reference);
    }
    std::string_view path = pathStart == std::string_view::npos ? "/" : base.substr(pathStart);
    path = path.substr(0, path.find_first_of("?#"));
    path = path.substr(0, path.rfind('/') + 1);
    return std::string(origin) + std::string(path) + std::string(reference);
}

}  // namespace miravel
