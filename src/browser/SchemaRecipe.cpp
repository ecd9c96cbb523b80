#include "browser/SchemaRecipe.h"

#include <cmath>
#include <utility>

#include "browser/HtmlText.h"
#include "lib/JsonParser.h"
#include "lib/TextPieces.h"

namespace miravel {

namespace {

// The block as strict JSON. Outside strings, comments and wrappers go and a comma before a
// closing bracket goes; inside strings, raw control characters become escapes and an escape
// JSON does not know loses its backslash.
std::string strictJson(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 16);
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (inString) {
            if (ch == '"') {
                inString = false;
                out.push_back(ch);
            } else if (ch == '\\' && i + 1 < text.size()) {
                const char next = text[i + 1];
                if (std::string_view("\"\\/bfnrtu").find(next) != std::string_view::npos) {
                    bool validUnicode = next != 'u';
                    if (next == 'u' && i + 5 < text.size()) {
                        validUnicode = true;
                        for (std::size_t k = i + 2; k < i + 6; ++k) {
                            validUnicode =
                                validUnicode && std::isxdigit(static_cast<unsigned char>(text[k]));
                        }
                    }
                    if (validUnicode) {
                        out.push_back('\\');
                        out.push_back(next);
                    } else {
                        out += "\\\\u";
                    }
                } else if (static_cast<unsigned char>(next) < 0x20) {
                    out.push_back(' ');
                } else {
                    out.push_back(next);
                }
                ++i;
            } else if (static_cast<unsigned char>(ch) < 0x20) {
                out += ch == '\n' ? "\\n" : ch == '\t' ? "\\t" : ch == '\r' ? "\\r" : " ";
            } else {
                out.push_back(ch);
            }
            continue;
        }
        if (ch == '"') {
            inString = true;
            out.push_back(ch);
        } else if (ch == ',') {
            std::size_t next = i + 1;
            while (next < text.size() && isWhiteSpace(text[next])) {
                ++next;
            }
            if (next < text.size() &&
                (text[next] == '}' || text[next] == ']' || text[next] == ',')) {
                continue;
            }
            out.push_back(ch);
        } else if (text.compare(i, 4, "<!--") == 0) {
            i += 3;
        } else if (text.compare(i, 3, "-->") == 0) {
            i += 2;
        } else if (text.compare(i, 9, "<![CDATA[") == 0) {
            i += 8;
        } else if (text.compare(i, 3, "]]>") == 0) {
            i += 2;
        } else if (text.compare(i, 2, "//") == 0) {
            const std::size_t end = text.find('\n', i);
            i = end == std::string_view::npos ? text.size() : end;
        } else if (text.compare(i, 2, "/*") == 0) {
            const std::size_t end = text.find("*/", i + 2);
            i = end == std::string_view::npos ? text.size() : end + 1;
        } else if (ch == ';') {
            // A statement's end after the value, as script writers leave it.
            continue;
        } else {
            out.push_back(ch);
        }
    }
    return out;
}

bool typeNames(std::string_view type, std::string_view wanted) {
    const std::size_t cut = type.find_last_of("/:#");
    if (cut != std::string_view::npos) {
        type = type.substr(cut + 1);
    }
    return type == wanted;
}

std::string plainText(const JsonValue& value) {
    if (value.isString()) {
        return plainTextOfHtml(value.asString());
    }
    if (value.isInteger()) {
        return std::to_string(value.asInteger());
    }
    if (value.isNumber()) {
        const double number = value.asDouble();
        if (std::floor(number) == number && std::abs(number) < 1e15) {
            return std::to_string(static_cast<long long>(number));
        }
        std::string text = std::to_string(number);
        while (!text.empty() && text.back() == '0') {
            text.pop_back();
        }
        return text;
    }
    return {};
}

// The first text of a value that may be a text, a number, an array of them or an object with
// one of `keys`.
std::string firstText(const JsonValue& value, std::initializer_list<std::string_view> keys = {}) {
    if (value.isArray()) {
        for (const JsonValue& item : value.asArray()) {
            std::string text = firstText(item, keys);
            if (!text.empty()) {
                return text;
            }
        }
        return {};
    }
    if (value.isObject()) {
        for (std::string_view key : keys) {
            if (const JsonValue* member = value.member(key)) {
                std::string text = firstText(*member);
                if (!text.empty()) {
                    return text;
                }
            }
        }
        return {};
    }
    return plainText(value);
}

std::string memberText(const JsonValue& object, std::string_view key) {
    const JsonValue* member = object.member(key);
    return member == nullptr ? std::string() : firstText(*member, {"name", "@value"});
}

std::string imageAddress(const JsonValue& value) {
    if (value.isString()) {
        return std::string(trimCharacters(decodeHtmlEntities(value.asString()), kWhiteSpace));
    }
    if (value.isArray()) {
        for (const JsonValue& item : value.asArray()) {
            std::string address = imageAddress(item);
            if (!address.empty()) {
                return address;
            }
        }
        return {};
    }
    if (value.isObject()) {
        for (std::string_view key : {"url", "contentUrl", "@id"}) {
            if (const JsonValue* member = value.member(key)) {
                std::string address = imageAddress(*member);
                if (!address.empty()) {
                    return address;
                }
            }
        }
    }
    return {};
}

void addLine(std::vector<std::string>& lines, std::string line) {
    if (!line.empty()) {
        lines.push_back(std::move(line));
    }
}

}  // namespace

// Instructions as HowToSection and HowToStep objects, texts or arrays of them, walked without
// recursion: a page's JSON may nest deeply.
std::vector<std::string> schemaInstructionLines(const JsonValue& instructions) {
    std::vector<std::string> lines;
    std::vector<const JsonValue*> pending{&instructions};
    while (!pending.empty()) {
        const JsonValue* value = pending.back();
        pending.pop_back();
        if (value->isString()) {
            // One text for all the steps: its lines are the steps.
            const std::string& text = value->asString();
            std::string_view rest = text;
            bool split = false;
            for (std::string_view marker : {"</p>", "<br", "</li>"}) {
                split = split || rest.find(marker) != std::string_view::npos;
            }
            if (!split) {
                for (std::size_t start = 0; start <= text.size();) {
                    const std::size_t end = std::min(text.find('\n', start), text.size());
                    addLine(lines, plainTextOfHtml(text.substr(start, end - start)));
                    start = end + 1;
                }
            } else {
                std::string marked = text;
                for (std::string_view marker : {"</p>", "<br>", "<br/>", "<br />", "</li>"}) {
                    for (std::size_t at = 0; (at = marked.find(marker, at)) != std::string::npos;) {
                        marked.insert(at, 1, '\n');
                        at += marker.size() + 1;
                    }
                }
                for (std::size_t start = 0; start <= marked.size();) {
                    const std::size_t end = std::min(marked.find('\n', start), marked.size());
                    addLine(lines,
                            plainTextOfHtml(std::string_view(marked).substr(start, end - start)));
                    start = end + 1;
                }
            }
            continue;
        }
        if (value->isArray()) {
            const JsonArray& items = value->asArray();
            for (auto item = items.rbegin(); item != items.rend(); ++item) {
                pending.push_back(&*item);
            }
            continue;
        }
        if (!value->isObject()) {
            continue;
        }
        const JsonValue* children = value->member("itemListElement");
        if (hasSchemaType(*value, "HowToSection") ||
            (children != nullptr && !hasSchemaType(*value, "HowToStep"))) {
            addLine(lines, memberText(*value, "name"));
            if (children != nullptr) {
                pending.push_back(children);
            }
            continue;
        }
        std::string text = memberText(*value, "text");
        if (text.empty()) {
            text = memberText(*value, "description");
        }
        // A step's name is its number ("1.", "Step 2") or its first words again, so the text
        // alone is the step.
        if (text.empty()) {
            text = memberText(*value, "name");
        }
        addLine(lines, text);
    }
    return lines;
}

namespace {

std::vector<IngredientGroup> ingredientGroups(const JsonValue& recipe) {
    std::vector<IngredientGroup> groups(1);
    const JsonValue* ingredients = recipe.member("recipeIngredient");
    if (ingredients == nullptr || (ingredients->isArray() && ingredients->asArray().empty())) {
        ingredients = recipe.member("ingredients");
    }
    if (ingredients == nullptr) {
        return {};
    }
    const auto addIngredient = [&](const JsonValue& item) {
        if (item.isObject()) {
            // A few pages give each line as a HowToSupply or PropertyValue object.
            addLine(groups.back().lines, firstText(item, {"text", "name", "value"}));
        } else {
            addLine(groups.back().lines, plainText(item));
        }
    };
    if (ingredients->isArray()) {
        for (const JsonValue& item : ingredients->asArray()) {
            if (item.isArray()) {
                for (const JsonValue& inner : item.asArray()) {
                    addIngredient(inner);
                }
            } else {
                addIngredient(item);
            }
        }
    } else if (ingredients->isString()) {
        const std::string& text = ingredients->asString();
        for (std::size_t start = 0; start <= text.size();) {
            const std::size_t end = std::min(text.find('\n', start), text.size());
            addLine(groups.back().lines, plainTextOfHtml(text.substr(start, end - start)));
            start = end + 1;
        }
    }
    if (groups.back().lines.empty()) {
        return {};
    }
    return groups;
}

struct NutritionLabel {
    std::string_view key;
    std::string_view label;
};

constexpr NutritionLabel kNutritionLabels[] = {
    {"servingSize", "Serving size"},
    {"calories", "Calories"},
    {"fatContent", "Fat"},
    {"saturatedFatContent", "Saturated fat"},
    {"transFatContent", "Trans fat"},
    {"unsaturatedFatContent", "Unsaturated fat"},
    {"cholesterolContent", "Cholesterol"},
    {"sodiumContent", "Sodium"},
    {"carbohydrateContent", "Carbohydrates"},
    {"fiberContent", "Fiber"},
    {"sugarContent", "Sugar"},
    {"proteinContent", "Protein"},
};

std::string nutritionText(const JsonValue& recipe) {
    const JsonValue* nutrition = recipe.member("nutrition");
    if (nutrition == nullptr) {
        return {};
    }
    if (!nutrition->isObject()) {
        return firstText(*nutrition);
    }
    std::vector<std::string> lines;
    for (const NutritionLabel& label : kNutritionLabels) {
        const std::string value = memberText(*nutrition, label.key);
        if (!value.empty()) {
            lines.push_back(std::string(label.label) + ": " + value);
        }
    }
    return joined(lines, "\n");
}

std::string durationText(const JsonValue& recipe, std::string_view key,
                         std::optional<double>* minutes = nullptr) {
    const std::string text = memberText(recipe, key);
    if (auto duration = readIsoDuration(text)) {
        if (minutes != nullptr) {
            *minutes = duration->minutes;
        }
        return duration->text;
    }
    return text;
}

}  // namespace

Result<JsonValue> parseLenientJson(std::string_view text) {
    auto strict = JsonParser::parse(text);
    if (strict) {
        return strict;
    }
    return JsonParser::parse(strictJson(text));
}

bool hasSchemaType(const JsonValue& value, std::string_view type) {
    const JsonValue* types = value.member("@type");
    if (types == nullptr) {
        return false;
    }
    if (types->isString()) {
        return typeNames(types->asString(), type);
    }
    if (types->isArray()) {
        for (const JsonValue& item : types->asArray()) {
            if (item.isString() && typeNames(item.asString(), type)) {
                return true;
            }
        }
    }
    return false;
}

std::vector<const JsonValue*> findSchemaRecipes(const JsonValue& document) {
    std::vector<const JsonValue*> recipes;
    std::vector<const JsonValue*> pending{&document};
    while (!pending.empty()) {
        const JsonValue* value = pending.back();
        pending.pop_back();
        if (value->isArray()) {
            const JsonArray& items = value->asArray();
            for (auto item = items.rbegin(); item != items.rend(); ++item) {
                pending.push_back(&*item);
            }
        } else if (value->isObject()) {
            if (hasSchemaType(*value, "Recipe")) {
                recipes.push_back(value);
                continue;
            }
            const JsonObject& members = value->asObject();
            std::vector<const JsonValue*> children;
            for (const auto& [key, member] : members) {
                if (member.isArray() || member.isObject()) {
                    children.push_back(&member);
                }
            }
            for (auto child = children.rbegin(); child != children.rend(); ++child) {
                pending.push_back(*child);
            }
        }
    }
    return recipes;
}

PageRecipe recipeFromSchema(const JsonValue& recipe, std::string_view pageUrl) {
    PageRecipe result;
    result.origin = PageRecipe::Origin::JsonLd;
    result.name = memberText(recipe, "name");
    if (result.name.empty()) {
        result.name = memberText(recipe, "headline");
    }
    result.ingredientGroups = ingredientGroups(recipe);
    if (const JsonValue* instructions = recipe.member("recipeInstructions")) {
        result.directions = schemaInstructionLines(*instructions);
    }
    if (const JsonValue* yield = recipe.member("recipeYield")) {
        result.servings = firstText(*yield, {"value", "name"});
    } else if (const JsonValue* yield = recipe.member("yield")) {
        result.servings = firstText(*yield);
    }
    result.prepTime = durationText(recipe, "prepTime");
    result.cookTime = durationText(recipe, "cookTime");
    result.totalTime = durationText(recipe, "totalTime", &result.totalMinutes);
    if (const JsonValue* image = recipe.member("image")) {
        const std::string address = imageAddress(*image);
        result.imageUrl = address.empty() ? std::string() : resolvedUrl(pageUrl, address);
    }
    result.nutrition = nutritionText(recipe);
    result.notes = memberText(recipe, "description");
    return result;
}

}  // namespace miravel
