#include "rendering/MiravelHtml.h"

#include <cstdint>

#include "ingredients/RecipeScaler.h"
#include "lib/AtomicFile.h"
#include "lib/Crypto.h"
#include "lib/Image.h"
#include "lib/LocalizedSettingsManager.h"
#include "lib/StringTable.h"
#include "lib/TextPieces.h"
#include "lib/Utf8.h"
#include "model/Recipe.h"
#include "rendering/RecipeText.h"

namespace miravel {

namespace {

bool isLineBreak(char32_t c) {
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// White space that is not a line break.
bool isBlank(char32_t c) {
    return c == '\t' || c == ' ' || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
           c == 0x202F || c == 0x205F || c == 0x3000;
}

std::string repeated(std::string_view piece, std::int64_t count) {
    std::string text;
    for (std::int64_t i = 0; i < count; ++i) {
        text += piece;
    }
    return text;
}

std::string fact(std::string_view label, std::string_view value) {
    return "<b>" + tr(label) + ":</b> " + MiravelHtml::escapeHtml(value);
}

std::string factsLine(const Recipe& recipe) {
    std::string facts;
    const auto add = [&](std::string_view text) {
        facts += facts.empty() ? "" : " | ";
        facts += text;
    };
    if (const auto prepTime = recipe.prepTime(); prepTime && MiravelHtml::notEmpty(prepTime)) {
        add(fact("Prep Time", *prepTime));
    }
    if (const auto cookTime = recipe.cookTime(); cookTime && MiravelHtml::notEmpty(cookTime)) {
        add(fact("Cook Time", *cookTime));
    }
    if (MiravelHtml::notEmpty(recipe.servings())) {
        add(fact("Makes", recipe.scaledServings().value_or("")));
    }
    if (MiravelHtml::notEmpty(recipe.difficulty())) {
        const auto& settings = LocalizedSettingsManager::sharedManager();
        add(fact("Difficulty", settings.localizedDifficultyForDifficulty(recipe.difficulty())));
    }
    return "<p>" + facts + "</p>";
}

std::string ingredientList(const std::optional<std::string>& ingredients) {
    std::string html;
    bool listOpen = false;
    for (const std::string& raw : splitAtLineBreaks(ingredients.value_or(""))) {
        const std::string_view line = trimCharacters(raw, " \t");
        if (line.empty()) {
            continue;
        }
        if (line.find(':') == line.size() - 1) {
            if (listOpen) {
                html += "</ul><br/>";
                listOpen = false;
            }
            html += "<h4>" + MiravelHtml::escapeHtml(line) + "</h4>";
            continue;
        }
        if (!listOpen) {
            html += "<ul>";
            listOpen = true;
        }
        html += "<li>" + MiravelHtml::escapeHtml(line) + "</li>";
    }
    if (listOpen) {
        html += "</ul>";
    }
    return html;
}

std::string photoImage(const Recipe& recipe) {
    const auto path = recipe.photoPath();
    if (!path) {
        return {};
    }
    const auto bytes = readFile(*path);
    if (!bytes) {
        return {};
    }
    // Named by what the bytes are: a viewer that believes the type would refuse a JPEG
    // called PNG. Bytes that are no picture are left out like a missing file.
    const std::string_view mediaType = imageMediaType(detectImageFormat(*bytes));
    if (mediaType.empty()) {
        return {};
    }
    return "<img src=\"data:" + std::string(mediaType) + ";base64," + base64Encode(*bytes) +
           "\" /><p/>";
}

}  // namespace

std::string MiravelHtml::documentStart(std::string_view title, std::string_view bodyStyle) {
    std::string html = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" +
                       escapeHtml(title) + "</title></head><body";
    if (!bodyStyle.empty()) {
        html += " style='" + std::string(bodyStyle) + "'";
    }
    return html + ">";
}

std::string MiravelHtml::escapeHtml(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

bool MiravelHtml::notEmpty(const std::optional<std::string>& text) {
    if (!text) {
        return false;
    }
    std::size_t position = 0;
    std::size_t start = std::string::npos;
    std::size_t end = 0;
    while (position < text->size()) {
        const std::size_t at = position;
        const char32_t c = nextUtf8(*text, position);
        if (!isLineBreak(c) && !isBlank(c)) {
            start = std::min(start, at);
            end = position;
        }
    }
    if (start == std::string::npos) {
        return false;
    }
    return std::string_view(*text).substr(start, end - start) != "---";
}

std::string MiravelHtml::htmlForText(std::string_view original) {
    std::string text;
    text.reserve(original.size());
    for (std::size_t i = 0; i < original.size(); ++i) {
        if (!(original[i] == '\r' && i + 1 < original.size() && original[i + 1] == '\n')) {
            text += original[i];
        }
    }

    std::string html;
    std::string paragraph;
    std::size_t position = 0;
    while (position < text.size()) {
        const std::size_t lineStart = position;
        while (position < text.size()) {
            std::size_t next = position;
            if (isLineBreak(nextUtf8(text, next))) {
                break;
            }
            position = next;
        }
        const std::string_view line =
            std::string_view(text).substr(lineStart, position - lineStart);

        // Plain spaces in the run after a line do not count; tabs do, so an indented line
        // after a single break starts a new paragraph.
        std::int64_t breaks = 0;
        while (position < text.size()) {
            std::size_t next = position;
            const char32_t c = nextUtf8(text, next);
            if (!isLineBreak(c) && !isBlank(c)) {
                break;
            }
            breaks += c == ' ' ? 0 : 1;
            position = next;
        }
        const bool atEnd = position >= text.size();

        if (line.empty()) {
            paragraph += repeated("<br/>", breaks);
            continue;
        }
        paragraph += escapeHtml(line);
        if (breaks > 1 || atEnd) {
            if (!atEnd && breaks >= 3) {
                paragraph += repeated("<br/>", breaks - 1);
            }
            html += "<p>" + paragraph + "</p>";
            paragraph.clear();
        } else if (breaks == 1) {
            paragraph += "<br/>";
        }
    }
    return html;
}

std::string MiravelHtml::htmlForRecipe(const Recipe& recipe, bool withSignature) {
    const std::string name = recipe.name().value_or("");
    std::string html = documentStart(name, "font-family: Helvetica;");
    html += "<h3>" + escapeHtml(name) + "</h3>";
    html += photoImage(recipe);
    if (const auto rating = recipe.rating().value_or(0); rating > 0) {
        html += "<p class='rating' value='" + std::to_string(rating) + "'>" +
                repeated("\u2605", rating) + "</p>";
    }
    html += factsLine(recipe);
    html += "<h4>" + tr("Ingredients") + ":</h4>";
    html += ingredientList(recipe.scaledIngredients());
    html += "<br/>";
    const std::pair<const char*, std::optional<std::string>> texts[] = {
        {"Directions", recipe.directions()},
        {"Notes", recipe.notes()},
        {"Nutritional Info", recipe.nutritionalInfo()},
    };
    for (const auto& [label, text] : texts) {
        if (text && !text->empty()) {
            html += "<h4>" + tr(label) + ":</h4>" + htmlForText(*text);
        }
    }
    const auto sourceUrl = recipe.sourceUrl().value_or("");
    const auto source = recipe.source().value_or("");
    if (!sourceUrl.empty() || !source.empty()) {
        // Both when both are known: the book or site's name and where to find it.
        const std::string both = source + " (" + sourceUrl + ")";
        html += "<p><b>" + tr("Source") + ":</b> " +
                escapeHtml(sourceUrl.empty() ? source
                           : source.empty()  ? sourceUrl
                                             : both) +
                "</p>";
    }
    if (withSignature) {
        html += "<p>" + escapeHtml(emailSignatureText()) + "</p>";
    }
    return html + std::string(documentEnd);
}

std::string MiravelHtml::printForRecipe(const Recipe& recipe) {
    return htmlForRecipe(recipe, false);
}

}  // namespace miravel
