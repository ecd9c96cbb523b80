#include "browser/RecipePageParser.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>

#include "browser/HtmlDocument.h"
#include "browser/HtmlText.h"
#include "browser/PageText.h"
#include "browser/SchemaRecipe.h"
#include "lib/JsonValue.h"
#include "lib/TextFolding.h"
#include "lib/TextPieces.h"

namespace miravel {

namespace {

// How many elements that look like a recipe, or like one part of it, are examined: each costs
// a walk of its subtree, and a page of nested ones must not cost the square of its size.
constexpr std::size_t kMostCandidates = 500;
// How far into a candidate container its list items are looked for.
constexpr std::size_t kMostContainerNodes = 5000;

// A recipe of one ingredient line is taken for structured data filled in carelessly (a title
// where the list belongs), and the page's own list is looked for.
bool isComplete(const PageRecipe& recipe) {
    return !recipe.name.empty() && recipe.ingredientLines().size() >= 2 &&
           !recipe.directions.empty();
}

// How much a candidate recipe offers, to choose between the recipes of one source.
int weight(const PageRecipe& recipe) {
    return (recipe.name.empty() ? 0 : 1) + (recipe.hasIngredients() ? 2 : 0) +
           (recipe.directions.empty() ? 0 : 2);
}

// The best recipe of the JSON-LD blocks: the first complete one, else the first that offers
// the most.
std::optional<PageRecipe> recipeFromJsonLd(const std::vector<std::string>& blocks,
                                           std::string_view pageUrl) {
    std::optional<PageRecipe> best;
    for (const std::string& block : blocks) {
        auto document = parseLenientJson(block);
        if (!document) {
            continue;
        }
        for (const JsonValue* found : findSchemaRecipes(*document)) {
            PageRecipe recipe = recipeFromSchema(*found, pageUrl);
            if (isComplete(recipe)) {
                return recipe;
            }
            if (weight(recipe) > 0 && (!best || weight(recipe) > weight(*best))) {
                best = std::move(recipe);
            }
        }
    }
    return best;
}

std::vector<std::string> decodedBlocks(const std::vector<std::string_view>& blocks) {
    return {blocks.begin(), blocks.end()};
}

// ---- microdata ----

std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> result;
    for (std::size_t at = 0; at < text.size();) {
        while (at < text.size() && isWhiteSpace(text[at])) {
            ++at;
        }
        std::size_t end = at;
        while (end < text.size() && !isWhiteSpace(text[end])) {
            ++end;
        }
        if (end > at) {
            result.push_back(text.substr(at, end - at));
        }
        at = end;
    }
    return result;
}

bool itemTypeIs(const GumboNode* element, std::string_view type) {
    const char* types = attribute(element, "itemtype");
    if (types == nullptr || attribute(element, "itemscope") == nullptr) {
        return false;
    }
    for (std::string_view word : words(types)) {
        const std::size_t cut = word.find_last_of("/:#");
        if ((cut == std::string_view::npos ? word : word.substr(cut + 1)) == type) {
            return true;
        }
    }
    return false;
}

struct Property {
    std::string name;
    const GumboNode* element;
};

// The properties of the item at `scope`: elements with itemprop inside it but not inside
// a nested item, in document order.
std::vector<Property> itemProperties(const GumboNode* scope) {
    std::vector<Property> properties;
    std::vector<const GumboNode*> pending;
    const auto pushChildren = [&](const GumboNode* node) {
        const GumboVector& children = node->v.element.children;
        for (unsigned i = children.length; i-- > 0;) {
            const auto* child = static_cast<const GumboNode*>(children.data[i]);
            if (child->type == GUMBO_NODE_ELEMENT) {
                pending.push_back(child);
            }
        }
    };
    pushChildren(scope);
    while (!pending.empty()) {
        const GumboNode* node = pending.back();
        pending.pop_back();
        if (const char* names = attribute(node, "itemprop")) {
            for (std::string_view name : words(names)) {
                const std::size_t cut = name.find_last_of("/:#");
                properties.push_back(
                    {std::string(cut == std::string_view::npos ? name : name.substr(cut + 1)),
                     node});
            }
        }
        if (attribute(node, "itemscope") == nullptr) {
            pushChildren(node);
        }
    }
    return properties;
}

// A property's value as microdata defines it.
std::string propertyValue(const GumboNode* element, std::string_view pageUrl) {
    if (const char* content = attribute(element, "content")) {
        return plainTextOfHtml(content);
    }
    const GumboTag tag = element->v.element.tag;
    const auto address = [&](const char* name) {
        const char* value = attribute(element, name);
        return value == nullptr ? std::string() : resolvedUrl(pageUrl, value);
    };
    switch (tag) {
        case GUMBO_TAG_IMG:
        case GUMBO_TAG_AUDIO:
        case GUMBO_TAG_VIDEO:
        case GUMBO_TAG_SOURCE:
        case GUMBO_TAG_IFRAME:
        case GUMBO_TAG_EMBED:
            return address("src");
        case GUMBO_TAG_A:
        case GUMBO_TAG_LINK:
        case GUMBO_TAG_AREA:
            return address("href");
        case GUMBO_TAG_TIME:
            if (const char* datetime = attribute(element, "datetime")) {
                return collapsedWhiteSpace(datetime);
            }
            break;
        case GUMBO_TAG_DATA:
        case GUMBO_TAG_METER:
            if (const char* value = attribute(element, "value")) {
                return collapsedWhiteSpace(value);
            }
            break;
        default:
            break;
    }
    return textOf(element);
}

const GumboNode* firstProperty(const std::vector<Property>& properties, std::string_view name) {
    for (const Property& property : properties) {
        if (property.name == name) {
            return property.element;
        }
    }
    return nullptr;
}

std::string firstValue(const std::vector<Property>& properties, std::string_view name,
                       std::string_view pageUrl) {
    for (const Property& property : properties) {
        if (property.name == name) {
            std::string value = propertyValue(property.element, pageUrl);
            if (!value.empty()) {
                return value;
            }
        }
    }
    return {};
}

// The elements of `node` of the given tag that no other such element encloses.
std::vector<const GumboNode*> descendants(const GumboNode* node, GumboTag tag,
                                          std::size_t mostNodes = SIZE_MAX) {
    std::vector<const GumboNode*> found;
    std::vector<const GumboNode*> pending{node};
    for (std::size_t visited = 0; !pending.empty() && visited < mostNodes; ++visited) {
        const GumboNode* current = pending.back();
        pending.pop_back();
        if (current != node && isElement(current, tag)) {
            found.push_back(current);
            continue;
        }
        if (current->type != GUMBO_NODE_ELEMENT) {
            continue;
        }
        const GumboVector& children = current->v.element.children;
        for (unsigned i = children.length; i-- > 0;) {
            pending.push_back(static_cast<const GumboNode*>(children.data[i]));
        }
    }
    return found;
}

// The lines of an element that holds one step or several: its list items, else its
// paragraphs, else its lines of text.
std::vector<std::string> stepLines(const GumboNode* element) {
    std::vector<std::string> lines;
    for (GumboTag tag : {GUMBO_TAG_LI, GUMBO_TAG_P}) {
        const auto parts = descendants(element, tag);
        if (parts.size() >= 2) {
            for (const GumboNode* part : parts) {
                std::string line = textOf(part);
                if (!line.empty()) {
                    lines.push_back(std::move(line));
                }
            }
            return lines;
        }
    }
    return textLines(element);
}

void applyDuration(std::string& field, std::string value,
                   std::optional<double>* minutes = nullptr) {
    if (auto duration = readIsoDuration(value)) {
        field = duration->text;
        if (minutes != nullptr) {
            *minutes = duration->minutes;
        }
    } else {
        field = std::move(value);
    }
}

PageRecipe recipeFromMicrodata(const GumboNode* item, std::string_view pageUrl) {
    PageRecipe recipe;
    recipe.origin = PageRecipe::Origin::Microdata;
    const std::vector<Property> properties = itemProperties(item);
    recipe.name = firstValue(properties, "name", pageUrl);
    IngredientGroup group;
    bool sawIngredient = false;
    for (std::string_view key : {"recipeIngredient", "ingredients"}) {
        for (const Property& property : properties) {
            if (property.name != key) {
                continue;
            }
            sawIngredient = true;
            const auto items = descendants(property.element, GUMBO_TAG_LI);
            if (items.size() >= 2 && attribute(property.element, "content") == nullptr) {
                for (const GumboNode* part : items) {
                    std::string line = textOf(part);
                    if (!line.empty()) {
                        group.lines.push_back(std::move(line));
                    }
                }
            } else if (attribute(property.element, "content") == nullptr &&
                       property.element->v.element.tag != GUMBO_TAG_META) {
                // One element for the whole list, a line each.
                for (std::string& line : textLines(property.element)) {
                    group.lines.push_back(std::move(line));
                }
            } else {
                std::string line = propertyValue(property.element, pageUrl);
                if (!line.empty()) {
                    group.lines.push_back(std::move(line));
                }
            }
        }
        if (sawIngredient) {
            break;
        }
    }
    if (!group.lines.empty()) {
        recipe.ingredientGroups.push_back(std::move(group));
    }
    // In microdata a section is an element of the page: one section over all the steps is
    // the list itself, and its name is the list's title ("Preparation", or a form's
    // placeholder left in), left out as the markup rules leave out one title over a list.
    std::size_t instructionProperties = 0;
    for (const Property& property : properties) {
        instructionProperties += property.name == "recipeInstructions" ? 1 : 0;
    }
    for (const Property& property : properties) {
        if (property.name != "recipeInstructions") {
            continue;
        }
        const GumboNode* element = property.element;
        if (attribute(element, "itemscope") != nullptr) {
            const auto inner = itemProperties(element);
            const bool section = itemTypeIs(element, "HowToSection");
            if (section) {
                std::string name = firstValue(inner, "name", pageUrl);
                if (!name.empty() && instructionProperties > 1) {
                    recipe.directions.push_back(std::move(name));
                }
                for (const Property& step : inner) {
                    if (step.name == "itemListElement") {
                        const auto stepProperties = itemProperties(step.element);
                        std::string text = firstValue(stepProperties, "text", pageUrl);
                        if (text.empty()) {
                            text = textOf(step.element);
                        }
                        if (!text.empty()) {
                            recipe.directions.push_back(std::move(text));
                        }
                    }
                }
                continue;
            }
            std::string text = firstValue(inner, "text", pageUrl);
            if (!text.empty()) {
                recipe.directions.push_back(std::move(text));
                continue;
            }
        }
        if (const char* content = attribute(element, "content")) {
            const std::string_view json = trimCharacters(content, kWhiteSpace);
            if (json.starts_with('[') || json.starts_with('{')) {
                // Some pages put the JSON-LD form of the steps into the attribute.
                // Unescaped quotes inside it end the attribute early ("[{"): that is no step,
                // and the page's markup has to give them.
                if (auto steps = parseLenientJson(json)) {
                    for (std::string& line : schemaInstructionLines(*steps)) {
                        recipe.directions.push_back(std::move(line));
                    }
                }
                continue;
            }
            std::string text = plainTextOfHtml(content);
            if (!text.empty()) {
                recipe.directions.push_back(std::move(text));
            }
            continue;
        }
        for (std::string& line : stepLines(element)) {
            recipe.directions.push_back(std::move(line));
        }
    }
    recipe.servings = firstValue(properties, "recipeYield", pageUrl);
    if (recipe.servings.empty()) {
        recipe.servings = firstValue(properties, "yield", pageUrl);
    }
    applyDuration(recipe.prepTime, firstValue(properties, "prepTime", pageUrl));
    applyDuration(recipe.cookTime, firstValue(properties, "cookTime", pageUrl));
    applyDuration(recipe.totalTime, firstValue(properties, "totalTime", pageUrl),
                  &recipe.totalMinutes);
    if (const GumboNode* image = firstProperty(properties, "image")) {
        if (attribute(image, "itemscope") != nullptr) {
            const auto inner = itemProperties(image);
            recipe.imageUrl = firstValue(inner, "url", pageUrl);
            if (recipe.imageUrl.empty()) {
                recipe.imageUrl = firstValue(inner, "contentUrl", pageUrl);
            }
        } else {
            recipe.imageUrl = firstValue(properties, "image", pageUrl);
        }
    }
    recipe.notes = firstValue(properties, "description", pageUrl);
    if (const GumboNode* nutrition = firstProperty(properties, "nutrition")) {
        std::vector<std::string> lines;
        for (const Property& fact : itemProperties(nutrition)) {
            std::string value = propertyValue(fact.element, pageUrl);
            if (!value.empty()) {
                lines.push_back(fact.name + ": " + value);
            }
        }
        recipe.nutrition = joined(lines, "\n");
    }
    return recipe;
}

std::optional<PageRecipe> recipeFromMicrodata(const HtmlDocument& document,
                                              std::string_view pageUrl) {
    std::optional<PageRecipe> best;
    std::size_t candidates = 0;
    for (const GumboNode* element : document.elements()) {
        if (!itemTypeIs(element, "Recipe")) {
            continue;
        }
        if (++candidates > kMostCandidates) {
            break;
        }
        PageRecipe recipe = recipeFromMicrodata(element, pageUrl);
        if (isComplete(recipe)) {
            return recipe;
        }
        if (weight(recipe) > 0 && (!best || weight(recipe) > weight(*best))) {
            best = std::move(recipe);
        }
    }
    if (!best) {
        // Pages that mark up a recipe's properties without the item around them: the
        // properties that belong to no item.
        for (const GumboNode* element : document.elements()) {
            if (isElement(element, GUMBO_TAG_BODY)) {
                PageRecipe recipe = recipeFromMicrodata(element, pageUrl);
                if (recipe.hasIngredients()) {
                    best = std::move(recipe);
                }
                break;
            }
        }
    }
    return best;
}

// ---- pages without structured data ----

bool isHeading(const GumboNode* node) {
    if (node->type != GUMBO_NODE_ELEMENT) {
        return false;
    }
    switch (node->v.element.tag) {
        case GUMBO_TAG_H1:
        case GUMBO_TAG_H2:
        case GUMBO_TAG_H3:
        case GUMBO_TAG_H4:
        case GUMBO_TAG_H5:
        case GUMBO_TAG_H6:
            return true;
        default:
            return false;
    }
}

// The words that head an ingredient list or the steps, in the languages recipe pages are
// written in, folded (lower case, no accents).
constexpr auto kIngredientWords = std::to_array<std::string_view>(
    {"ingredients",   "ingredient",    "ingredientes", "ingredienti", "ingrediens",  "ingredienser",
     "ingredienten",  "ingrediënten",  "zutaten",      "skladniki",   "składniki",   "ingrediencie",
     "suroviny",      "hozzavalok",    "sastojci",     "ainekset",    "malzemeler",  "ingrediente",
     "what you need", "you will need", "you'll need",  "ingrédients", "ингредиенты", "材料"});
constexpr auto kDirectionWords = std::to_array<std::string_view>(
    {"directions",      "instructions",  "method",         "preparation",  "steps",
     "procedure",       "how to make",   "how to make it", "zubereitung",  "anleitung",
     "preparacion",     "preparación",   "preparazione",   "procedimento", "bereiding",
     "bereidingswijze", "fremgangsmade", "fremgangsmåde",  "tilberedning", "gor sa har",
     "gör så här",      "przygotowanie", "postup",         "elkeszites",   "elkészítés",
     "приготовление",   "作り方",        "做法",           "步骤",         "做法步骤"});

std::string foldedHeading(std::string_view text) {
    std::string folded;
    for (char ch : text) {
        folded.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(ch))));
    }
    for (;;) {
        if (!folded.empty() && (folded.back() == ':' || folded.back() == ' ')) {
            folded.pop_back();
        } else if (folded.ends_with("\uFF1A")) {  // the full-width colon
            folded.resize(folded.size() - 3);
        } else {
            break;
        }
    }
    return folded;
}

template <std::size_t N>
bool headingNames(std::string_view text, const std::array<std::string_view, N>& names) {
    if (text.size() > 60) {
        return false;
    }
    const std::string folded = foldedHeading(text);
    for (std::string_view name : names) {
        if (folded == name) {
            return true;
        }
    }
    // "Ingredients for 4", "Method:" with a count after it.
    for (std::string_view name : names) {
        if (folded.starts_with(name) && folded.size() > name.size() &&
            !std::isalpha(static_cast<unsigned char>(folded[name.size()]))) {
            return folded.size() < name.size() + 25;
        }
    }
    return false;
}

bool namesAPart(std::string_view text);

// The rows of a container that lists ingredients without list items: the most frequent kind
// of element (tag and classes) inside it whose class speaks of `part`, the outermost kind
// when two are as frequent.
std::vector<const GumboNode*> classedRows(const GumboNode* container, std::string_view part,
                                          std::size_t mostNodes = SIZE_MAX) {
    std::vector<std::pair<std::string, std::vector<const GumboNode*>>> kinds;
    std::vector<const GumboNode*> pending{container};
    for (std::size_t visited = 0; !pending.empty() && visited < mostNodes; ++visited) {
        const GumboNode* node = pending.back();
        pending.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT) {
            continue;
        }
        if (node != container && classContains(node, part)) {
            const std::string kind =
                std::to_string(node->v.element.tag) + " " + attribute(node, "class");
            auto found = std::find_if(kinds.begin(), kinds.end(),
                                      [&](const auto& entry) { return entry.first == kind; });
            if (found == kinds.end()) {
                kinds.push_back({kind, {node}});
            } else {
                found->second.push_back(node);
            }
        }
        const GumboVector& children = node->v.element.children;
        for (unsigned i = children.length; i-- > 0;) {
            pending.push_back(static_cast<const GumboNode*>(children.data[i]));
        }
    }
    const std::vector<const GumboNode*>* best = nullptr;
    for (const auto& [kind, nodes] : kinds) {
        if (nodes.size() >= 2 && (best == nullptr || nodes.size() > best->size())) {
            best = &nodes;
        }
    }
    return best == nullptr ? std::vector<const GumboNode*>() : *best;
}

// Lines of the list items in `container`, a heading inside it starting a group. A heading
// that only names the part ("Ingredients") starts none.
// A list item or paragraph of more nodes than this is a page's layout, not a line of a recipe.
constexpr std::size_t kMostItemNodes = 2000;

bool isAllLinks(const GumboNode* element);

// `steps`: a step is never only a link, which in a list of steps is a "see also".
// Whether the page hides the element: a list shown in another unit system, or in another
// view, that the reader switches to. Only the list the page shows is the recipe's.
bool isHidden(const GumboNode* element) {
    if (attribute(element, "hidden") != nullptr) {
        return true;
    }
    const char* style = attribute(element, "style");
    if (style == nullptr) {
        return false;
    }
    std::string compact;
    for (const char* ch = style; *ch != 0; ++ch) {
        if (!isWhiteSpace(*ch)) {
            compact.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(*ch))));
        }
    }
    return compact.find("display:none") != std::string::npos;
}

std::vector<IngredientGroup> groupedListLines(const GumboNode* container, bool steps = false) {
    std::vector<IngredientGroup> groups(1);
    std::vector<const GumboNode*> pending{container};
    while (!pending.empty()) {
        const GumboNode* node = pending.back();
        pending.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT || (node != container && isHidden(node))) {
            continue;
        }
        if (node != container && (isHeading(node) || (classContains(node, "group-name") ||
                                                      classContains(node, "group-title") ||
                                                      classContains(node, "section-title")))) {
            std::string heading = textOf(node);
            if (!heading.empty() && !namesAPart(heading)) {
                if (groups.back().lines.empty()) {
                    groups.back().heading = std::move(heading);
                } else {
                    groups.push_back({std::move(heading), {}});
                }
            }
            continue;
        }
        if (isElement(node, GUMBO_TAG_LI) && steps && isAllLinks(node)) {
            continue;
        }
        if (isElement(node, GUMBO_TAG_LI)) {
            const auto itemLines = shortTextLines(node, kMostItemNodes, steps);
            std::string line = itemLines ? joined(*itemLines, " ") : std::string();
            if (!line.empty()) {
                groups.back().lines.push_back(std::move(line));
            }
            continue;
        }
        const GumboVector& children = node->v.element.children;
        for (unsigned i = children.length; i-- > 0;) {
            pending.push_back(static_cast<const GumboNode*>(children.data[i]));
        }
    }
    std::erase_if(groups, [](const IngredientGroup& group) { return group.lines.empty(); });
    return groups;
}

// The outermost element whose class speaks of one of `parts` and that holds at least two
// list items.
// Whether list items read as steps: sentences, most ending as one ends or long. A list of a
// few words each (times, tools) under a class that speaks of the method is another list.
bool readAsSteps(const std::vector<const GumboNode*>& items) {
    std::size_t sentences = 0;
    for (const GumboNode* item : items) {
        const auto lines = shortTextLines(item, 200);
        const std::string text = lines ? joined(*lines, " ") : std::string(200, 'x');
        const bool ends = text.ends_with('.') || text.ends_with('!') || text.ends_with(')') ||
                          text.ends_with("\u3002");
        sentences += ends || text.size() >= 40 ? 1 : 0;
    }
    return sentences * 2 >= items.size();
}

const GumboNode* classedContainer(const HtmlDocument& document,
                                  std::initializer_list<std::string_view> parts,
                                  bool steps = false) {
    std::size_t candidates = 0;
    for (const GumboNode* element : document.elements()) {
        bool named = false;
        for (std::string_view part : parts) {
            named = named || classContains(element, part);
        }
        // Navigation menus list categories of ingredients, not a recipe's.
        if (!named || isElement(element, GUMBO_TAG_LI) || isElement(element, GUMBO_TAG_BODY) ||
            isElement(element, GUMBO_TAG_HTML) || classContains(element, "menu")) {
            continue;
        }
        if (++candidates > kMostCandidates) {
            break;
        }
        const auto items = descendants(element, GUMBO_TAG_LI, kMostContainerNodes);
        if (items.size() >= 2) {
            if (!steps || readAsSteps(items)) {
                return element;
            }
            continue;
        }
        for (std::string_view part : parts) {
            if (classedRows(element, part, kMostContainerNodes).size() >= 2) {
                return element;
            }
        }
    }
    return nullptr;
}

// The rows of the whole page whose class speaks of `part` (classedRows of its body), when
// they are short enough to be lines.
std::vector<const GumboNode*> classedRowsOfPage(const HtmlDocument& document,
                                                std::string_view part) {
    // More rows than any recipe has lines are the page's layout; rows nest in attacks, and
    // each is read whole below, so their number bounds the cost.
    constexpr std::size_t kMostRows = 500;
    for (const GumboNode* element : document.elements()) {
        if (isElement(element, GUMBO_TAG_BODY)) {
            auto rows = classedRows(element, part);
            if (rows.size() > kMostRows) {
                return {};
            }
            for (const GumboNode* row : rows) {
                if (!shortTextLines(row, kMostItemNodes)) {
                    return {};
                }
            }
            return rows;
        }
    }
    return {};
}

bool namesAPart(std::string_view text) {
    return headingNames(text, kIngredientWords) || headingNames(text, kDirectionWords);
}

// The steps of groups, each group's heading a line before its steps. One heading over all
// of them is the list's title ("Preparation"), not a section's name, and is left out.
std::vector<std::string> stepLines(const std::vector<IngredientGroup>& groups) {
    std::vector<std::string> lines;
    for (const IngredientGroup& group : groups) {
        if (!group.heading.empty() && groups.size() > 1) {
            lines.push_back(group.heading);
        }
        lines.insert(lines.end(), group.lines.begin(), group.lines.end());
    }
    return lines;
}

// Headings of each part tried before giving up on the part.
constexpr std::size_t kMostHeadings = 8;

// Whether the element is a link, lies in one (a few levels up), or holds one.
bool isLinked(const GumboNode* element) {
    int levels = 0;
    for (const GumboNode* up = element; up != nullptr && levels < 6; up = up->parent, ++levels) {
        if (isElement(up, GUMBO_TAG_A)) {
            return true;
        }
    }
    return !descendants(element, GUMBO_TAG_A, 64).empty();
}

// A title's text, or nothing when the element holds more than a title could.
std::string titleText(const GumboNode* element) {
    auto lines = shortTextLines(element, 200);
    if (!lines) {
        return {};
    }
    std::string title = joined(*lines, " ");
    return title.size() < 300 ? title : std::string();
}

std::string metaContent(const HtmlDocument& document, std::string_view property) {
    for (const GumboNode* element : document.elements()) {
        if (isElement(element, GUMBO_TAG_META)) {
            const char* name = attribute(element, "property");
            const char* content = attribute(element, "content");
            if (name != nullptr && content != nullptr && std::string_view(name) == property) {
                return collapsedWhiteSpace(content);
            }
        }
    }
    return {};
}

// The separators that set a site's name, a rating or a tagline apart in a title.
constexpr auto kTitleSeparators =
    std::to_array<std::string_view>({" - ", " | ", " \u2013 ", " \u2014 ", " :: ", " \u00b7 "});

bool hasTitleSeparator(std::string_view text) {
    return std::any_of(
        kTitleSeparators.begin(), kTitleSeparators.end(),
        [&](std::string_view separator) { return text.find(separator) != std::string_view::npos; });
}

std::string documentTitle(const HtmlDocument& document) {
    for (const GumboNode* element : document.elements()) {
        if (isElement(element, GUMBO_TAG_TITLE)) {
            return titleText(element);
        }
    }
    return {};
}

// The recipe's name on a page without structured data. Pages have several <h1>s (the site's
// name in the banner, then the article's); the one the document's title begins with, or
// holds, is the article's. Without one, the first that is no link, then the social-media
// title, then the document's title.
std::string pageTitle(const HtmlDocument& document) {
    for (const GumboNode* element : document.elements()) {
        if (classContains(element, "recipe-title") || classContains(element, "recipe-name") ||
            classContains(element, "recipe_title") || classContains(element, "recipe_name")) {
            std::string title = titleText(element);
            if (!title.empty()) {
                return title;
            }
        }
    }
    std::string documentTitle;
    for (const GumboNode* element : document.elements()) {
        if (isElement(element, GUMBO_TAG_TITLE)) {
            documentTitle = titleText(element);
            break;
        }
    }
    const std::string socialTitle = metaContent(document, "og:title");
    std::vector<std::pair<std::string, bool>> headings;  // text, whether it is a link
    for (const GumboNode* element : document.elements()) {
        if (isElement(element, GUMBO_TAG_H1) && headings.size() < kMostHeadings) {
            std::string title = titleText(element);
            if (!title.empty()) {
                headings.emplace_back(std::move(title), isLinked(element));
            }
        }
    }
    // A document title without a site's name after a separator is the article's own title,
    // which names the recipe where the <h1> is a headline ("MMM: Meatballs In Marinara").
    if (!documentTitle.empty() && !hasTitleSeparator(documentTitle)) {
        return documentTitle;
    }
    // The banner's <h1> is a link home, and the site's name ends the title too.
    for (bool atStart : {true, false}) {
        for (const std::string& full : {documentTitle, socialTitle}) {
            const std::string folded = foldedHeading(full);
            for (const auto& [heading, linked] : headings) {
                const std::string part = foldedHeading(heading);
                const std::size_t at = folded.find(part);
                if (!linked && !folded.empty() && at != std::string::npos &&
                    (!atStart || at == 0) && part.size() * 3 >= folded.size()) {
                    return heading;
                }
            }
        }
    }
    for (const auto& [heading, linked] : headings) {
        if (!linked) {
            return heading;
        }
    }
    return !socialTitle.empty() ? socialTitle : documentTitle;
}

// Whether `name` is the text of a title element of the page, found by a byte scan: any
// "<title" counts (those inside scripts and comments too), so that the tree's first title is
// among them and the fast path never keeps a name the full parse would shorten.
bool isTitleText(std::string_view page, std::string_view name) {
    const std::string wanted = foldedHeading(collapsedWhiteSpace(name));
    const auto startsWithTag = [&](std::size_t at, std::string_view tag) {
        if (page.size() - at < tag.size()) {
            return false;
        }
        for (std::size_t i = 0; i < tag.size(); ++i) {
            if (std::tolower(static_cast<unsigned char>(page[at + i])) != tag[i]) {
                return false;
            }
        }
        return true;
    };
    for (std::size_t at = page.find('<'); at != std::string_view::npos;
         at = page.find('<', at + 1)) {
        if (!startsWithTag(at, "<title")) {
            continue;
        }
        const std::size_t open = page.find('>', at);
        if (open == std::string_view::npos) {
            return false;
        }
        std::size_t close = open + 1;
        while ((close = page.find('<', close)) != std::string_view::npos &&
               !startsWithTag(close, "</title")) {
            ++close;
        }
        if (close == std::string_view::npos) {
            return false;
        }
        if (foldedHeading(plainTextOfHtml(page.substr(open + 1, close - open - 1))) == wanted) {
            return true;
        }
        at = close;
    }
    return false;
}

// Structured data sometimes takes its name from the document title, and so carries what the
// title adds to the recipe's name ("Lemon Tart Recipe - (4.8/5)", "Stew Recept - Site.hu").
// When the name is the document title, the article's own <h1> is its start and a separator
// follows in the rest, the <h1> is the name. A name of its own with a separator in it
// ("Pancakes - the classic ones") is no title and stays whole.
std::string nameWithoutTitleSuffix(const HtmlDocument& document, const std::string& name) {
    if (!hasTitleSeparator(name)) {
        return name;
    }
    const std::string folded = foldedHeading(name);
    if (foldedHeading(documentTitle(document)) != folded) {
        return name;
    }
    std::size_t headings = 0;
    for (const GumboNode* element : document.elements()) {
        if (!isElement(element, GUMBO_TAG_H1) || isLinked(element)) {
            continue;
        }
        if (++headings > kMostHeadings) {
            break;
        }
        const std::string heading = titleText(element);
        const std::string part = foldedHeading(heading);
        if (!part.empty() && part.size() < folded.size() && folded.starts_with(part) &&
            folded[part.size()] == ' ' &&
            hasTitleSeparator(std::string_view(folded).substr(part.size()))) {
            return heading;
        }
    }
    return name;
}

std::string pageImage(const HtmlDocument& document, std::string_view pageUrl) {
    const std::string image = metaContent(document, "og:image");
    return image.empty() ? image : resolvedUrl(pageUrl, image);
}

bool mayHead(const GumboNode* element) {
    if (isHeading(element)) {
        return true;
    }
    const GumboTag tag = element->v.element.tag;
    return tag == GUMBO_TAG_STRONG || tag == GUMBO_TAG_B || tag == GUMBO_TAG_P ||
           tag == GUMBO_TAG_DT || tag == GUMBO_TAG_SPAN || tag == GUMBO_TAG_DIV;
}

// Whether the element's text is all one bold element: "<p><strong>For the sauce</strong></p>"
// heads what follows it.
bool isAllBold(const GumboNode* element) {
    const GumboNode* bold = nullptr;
    const GumboVector& children = element->v.element.children;
    for (unsigned i = 0; i < children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(children.data[i]);
        if (child->type == GUMBO_NODE_WHITESPACE || child->type == GUMBO_NODE_COMMENT) {
            continue;
        }
        if (bold == nullptr &&
            (isElement(child, GUMBO_TAG_STRONG) || isElement(child, GUMBO_TAG_B))) {
            bold = child;
            continue;
        }
        return false;
    }
    return bold != nullptr;
}

// The words that head a recipe's notes, which end the part before them.
constexpr auto kNoteWords = std::to_array<std::string_view>(
    {"notes", "note", "tips", "recipe notes", "notizen", "hinweis", "tipps", "remarques", "astuces",
     "notas", "consejos", "note e consigli", "opmerkingen", "noter", "uwagi"});

// The words that head a page's links to other recipes after the method ("Links:
// Chicken Noodle Soup here on ...", "See also"), which end the part before them too.
constexpr auto kLinkWords = std::to_array<std::string_view>(
    {"links", "see also", "related", "related recipes", "more recipes", "siehe auch", "voir aussi",
     "vedi anche", "ver tambi\u00e9n", "zie ook", "se ogs\u00e5"});

// "Note: why baking soda?", "NOTE - ..." and the like.
bool isNoteLine(std::string_view line) {
    std::string start;
    for (char ch : line.substr(0, 8)) {
        start.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(ch))));
    }
    for (std::string_view word : {"note:", "notes:", "note -", "note \u2013", "tip:", "tips:"}) {
        if (start.starts_with(word.substr(0, std::min<std::size_t>(word.size(), 8)))) {
            return true;
        }
    }
    return false;
}

// Whether all of an element's text is inside links: a "see also" line, not a step.
bool isAllLinks(const GumboNode* element) {
    const auto all = shortTextLines(element, 200);
    if (!all) {
        return false;
    }
    std::string linked;
    for (const GumboNode* link : descendants(element, GUMBO_TAG_A, 200)) {
        if (auto lines = shortTextLines(link, 200)) {
            linked += joined(*lines, " ");
        }
    }
    std::string text = joined(*all, " ");
    std::erase(text, ' ');
    std::erase(linked, ' ');
    return !text.empty() && text.size() <= linked.size() + 4;
}

int headingRank(const GumboNode* node) {
    return isHeading(node) ? static_cast<int>(node->v.element.tag - GUMBO_TAG_H1) + 1 : 7;
}

// The lines after a heading that names a part: the lists that follow it, each under the
// smaller heading before it, or its paragraphs, up to a heading as large as it or one that
// names another part.
template <std::size_t N>
std::vector<IngredientGroup> linesAfterHeadingWithin(
    const HtmlDocument& document, const GumboNode* heading,
    const std::array<std::string_view, N>& otherPart, const GumboNode* within) {
    std::vector<IngredientGroup> groups(1);
    const int rank = headingRank(heading);
    const bool collectingSteps = otherPart.data() == kIngredientWords.data();
    for (const GumboNode* element : document.following(heading, 2000, within)) {
        const auto shortLines = shortTextLines(element);
        const bool oneShortLine = shortLines && shortLines->size() == 1;
        if (mayHead(element) && !isHeading(element) && oneShortLine &&
            (headingNames(shortLines->front(), otherPart) ||
             headingNames(shortLines->front(), kNoteWords) ||
             headingNames(shortLines->front(), kLinkWords))) {
            break;
        }
        if ((isHeading(element) && shortLines) ||
            (isElement(element, GUMBO_TAG_P) && oneShortLine && shortLines->front().size() < 60 &&
             (shortLines->front().ends_with(':') || isAllBold(element)))) {
            const std::string text = joined(*shortLines, " ");
            if (text.empty()) {
                continue;
            }
            if ((isHeading(element) && headingRank(element) <= rank) ||
                headingNames(text, otherPart) || headingNames(text, kNoteWords) ||
                headingNames(text, kLinkWords)) {
                break;
            }
            if (groups.back().lines.empty()) {
                groups.back().heading = text;
            } else {
                groups.push_back({text, {}});
            }
            continue;
        }
        if (isElement(element, GUMBO_TAG_LI) && !(collectingSteps && isAllLinks(element))) {
            if (auto lines = shortTextLines(element, kMostItemNodes, collectingSteps)) {
                std::string line = joined(*lines, " ");
                if (!line.empty()) {
                    groups.back().lines.push_back(std::move(line));
                }
            }
        } else if (isElement(element, GUMBO_TAG_P) && !isElement(element->parent, GUMBO_TAG_LI) &&
                   !isAllLinks(element)) {
            if (auto lines = shortTextLines(element, kMostItemNodes)) {
                for (std::string& line : *lines) {
                    // "Method:" on a line of its own within the paragraph ends the part, as
                    // does a note ("Note: ...").
                    if (headingNames(line, otherPart) || isNoteLine(line)) {
                        std::erase_if(groups, [](const IngredientGroup& group) {
                            return group.lines.empty();
                        });
                        return groups;
                    }
                    groups.back().lines.push_back(std::move(line));
                }
            }
        }
        if (isElement(element, GUMBO_TAG_FOOTER) || isElement(element, GUMBO_TAG_FORM)) {
            break;
        }
    }
    std::erase_if(groups, [](const IngredientGroup& group) { return group.lines.empty(); });
    return groups;
}

// A paragraph that heads a part ("Preparation:") stands among the part's own paragraphs,
// and the block that holds them ends the part: past it come the page's boxes and footer,
// which no heading ends. Only when that block holds nothing after the heading are the
// lines looked for past it. A heading element keeps to the headings that follow it.
template <std::size_t N>
std::vector<IngredientGroup> linesAfterHeading(const HtmlDocument& document,
                                               const GumboNode* heading,
                                               const std::array<std::string_view, N>& otherPart) {
    if (!isHeading(heading)) {
        const GumboNode* block = heading->parent;
        while (block != nullptr && block->type == GUMBO_NODE_ELEMENT &&
               (isElement(block, GUMBO_TAG_P) || isElement(block, GUMBO_TAG_STRONG) ||
                isElement(block, GUMBO_TAG_B) || isElement(block, GUMBO_TAG_SPAN) ||
                isElement(block, GUMBO_TAG_EM) || isElement(block, GUMBO_TAG_I))) {
            block = block->parent;
        }
        if (block != nullptr && block->type == GUMBO_NODE_ELEMENT &&
            !isElement(block, GUMBO_TAG_BODY) && !isElement(block, GUMBO_TAG_HTML)) {
            auto groups = linesAfterHeadingWithin(document, heading, otherPart, block);
            if (!groups.empty()) {
                return groups;
            }
        }
    }
    return linesAfterHeadingWithin(document, heading, otherPart, nullptr);
}

// Whether a line begins with an amount: a digit or a vulgar fraction.
bool startsWithAmount(std::string_view line) {
    if (!line.empty() && line[0] >= '0' && line[0] <= '9') {
        return true;
    }
    for (std::string_view fraction : {"\u00bd", "\u00bc", "\u00be", "\u2153", "\u2154", "\u215b"}) {
        if (line.starts_with(fraction)) {
            return true;
        }
    }
    return false;
}

// A page that names neither part: its first list of at least three items most of which begin
// with an amount, none a link, is taken for the ingredients.
const GumboNode* quantityList(const HtmlDocument& document) {
    std::size_t lists = 0;
    for (const GumboNode* element : document.elements()) {
        if (!isElement(element, GUMBO_TAG_UL) && !isElement(element, GUMBO_TAG_OL)) {
            continue;
        }
        if (++lists > kMostCandidates) {
            break;
        }
        const auto items = descendants(element, GUMBO_TAG_LI, kMostContainerNodes);
        if (items.size() < 3) {
            continue;
        }
        std::size_t amounts = 0;
        bool linked = false;
        for (const GumboNode* item : items) {
            const auto lines = shortTextLines(item, 200);
            linked = linked || isLinked(item) || !lines;
            amounts += lines && !lines->empty() && startsWithAmount(lines->front()) ? 1 : 0;
        }
        if (!linked && amounts * 5 >= items.size() * 3) {
            return element;
        }
    }
    return nullptr;
}

std::optional<PageRecipe> recipeFromMarkup(const HtmlDocument& document, std::string_view pageUrl) {
    PageRecipe recipe;
    recipe.origin = PageRecipe::Origin::RecipeMarkup;
    if (const GumboNode* ingredients = classedContainer(document, {"ingredient"})) {
        recipe.ingredientGroups = groupedListLines(ingredients);
        if (!recipe.hasIngredients()) {
            // Rows nest in attacks: each is read only as far as a line can go, and the walk
            // as far as a container's.
            IngredientGroup rows;
            for (const GumboNode* row :
                 classedRows(ingredients, "ingredient", kMostContainerNodes)) {
                if (auto lines = shortTextLines(row, kMostItemNodes)) {
                    std::string line = joined(*lines, " ");
                    if (!line.empty()) {
                        rows.lines.push_back(std::move(line));
                    }
                }
            }
            recipe.ingredientGroups = {std::move(rows)};
        }
    }
    if (const GumboNode* steps = classedContainer(
            document, {"instruction", "direction", "method", "preparation", "steps"}, true)) {
        recipe.directions = stepLines(groupedListLines(steps, true));
    }
    // Lines marked one by one, with no container whose class names the part: every
    // <li class="ingredient"> and <p class="instructions"> of the page, under whatever
    // headings the page groups them by.
    if (!recipe.hasIngredients()) {
        IngredientGroup rows;
        for (const GumboNode* row : classedRowsOfPage(document, "ingredient")) {
            std::string line = textOf(row);
            if (!line.empty()) {
                rows.lines.push_back(std::move(line));
            }
        }
        if (rows.lines.size() >= 3) {
            recipe.ingredientGroups = {std::move(rows)};
        }
    }
    if (recipe.directions.empty()) {
        for (std::string_view part : {"instruction", "direction"}) {
            const auto rows = classedRowsOfPage(document, part);
            if (rows.size() >= 2 && readAsSteps(rows)) {
                for (const GumboNode* row : rows) {
                    std::string line = textOf(row);
                    if (!line.empty()) {
                        recipe.directions.push_back(std::move(line));
                    }
                }
                break;
            }
        }
    }
    if (!recipe.hasIngredients() || recipe.directions.empty()) {
        // Headings that name the parts, each followed by its list. A site's menu names them
        // too, as links, so a link is no heading, and the first heading that has lines
        // after it is taken.
        std::vector<const GumboNode*> ingredientsHeadings;
        std::vector<const GumboNode*> directionsHeadings;
        for (const GumboNode* element : document.elements()) {
            if (!mayHead(element) || isLinked(element)) {
                continue;
            }
            const auto lines = shortTextLines(element);
            if (!lines || lines->size() != 1) {
                continue;
            }
            if (headingNames(lines->front(), kIngredientWords)) {
                if (ingredientsHeadings.size() < kMostHeadings) {
                    ingredientsHeadings.push_back(element);
                }
            } else if (headingNames(lines->front(), kDirectionWords)) {
                if (directionsHeadings.size() < kMostHeadings) {
                    directionsHeadings.push_back(element);
                }
            }
        }
        for (const GumboNode* heading : ingredientsHeadings) {
            if (recipe.hasIngredients()) {
                break;
            }
            recipe.ingredientGroups = linesAfterHeading(document, heading, kDirectionWords);
        }
        for (const GumboNode* heading : directionsHeadings) {
            if (!recipe.directions.empty()) {
                break;
            }
            // On a page without recipe markup the smaller headings among the steps are the
            // article's layout ("Preparation", "Cooking") as often as names of parts, and
            // the steps are the lines under them; markup that groups steps keeps its names.
            for (const IngredientGroup& group :
                 linesAfterHeading(document, heading, kIngredientWords)) {
                recipe.directions.insert(recipe.directions.end(), group.lines.begin(),
                                         group.lines.end());
            }
        }
        if (recipe.hasIngredients()) {
            recipe.origin = PageRecipe::Origin::Headings;
        }
    }
    if (!recipe.hasIngredients()) {
        if (const GumboNode* list = quantityList(document)) {
            recipe.origin = PageRecipe::Origin::Headings;
            IngredientGroup items;
            for (const GumboNode* item : descendants(list, GUMBO_TAG_LI)) {
                std::string line = textOf(item);
                if (!line.empty()) {
                    items.lines.push_back(std::move(line));
                }
            }
            recipe.ingredientGroups = {std::move(items)};
            if (recipe.directions.empty()) {
                for (const IngredientGroup& group :
                     linesAfterHeading(document, list, kIngredientWords)) {
                    recipe.directions.insert(recipe.directions.end(), group.lines.begin(),
                                             group.lines.end());
                }
            }
        }
    }
    if (!recipe.hasIngredients() && recipe.directions.empty()) {
        return std::nullopt;
    }
    recipe.name = pageTitle(document);
    recipe.imageUrl = pageImage(document, pageUrl);
    return recipe;
}

// Fills what the chosen source left out from a less trusted one that has it.
void complete(PageRecipe& recipe, const PageRecipe& other) {
    if (recipe.name.empty()) {
        recipe.name = other.name;
    }
    if (!recipe.hasIngredients()) {
        recipe.ingredientGroups = other.ingredientGroups;
    }
    if (recipe.directions.empty()) {
        recipe.directions = other.directions;
    }
    if (recipe.imageUrl.empty()) {
        recipe.imageUrl = other.imageUrl;
    }
}

std::vector<std::string> jsonLdFromTree(const HtmlDocument& document) {
    std::vector<std::string> blocks;
    for (const GumboNode* element : document.elements()) {
        if (!isElement(element, GUMBO_TAG_SCRIPT)) {
            continue;
        }
        const char* type = attribute(element, "type");
        if (type == nullptr || !isJsonLdType(type)) {
            continue;
        }
        std::string text;
        const GumboVector& children = element->v.element.children;
        for (unsigned i = 0; i < children.length; ++i) {
            const auto* child = static_cast<const GumboNode*>(children.data[i]);
            if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE ||
                child->type == GUMBO_NODE_CDATA) {
                text += child->v.text.text;
            }
        }
        blocks.push_back(std::move(text));
    }
    return blocks;
}

// The start of the text within the first `bytes`, cut at a character boundary.
std::string_view prefixOf(std::string_view text, std::size_t bytes) {
    if (text.size() <= bytes) {
        return text;
    }
    while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80) {
        --bytes;
    }
    return text.substr(0, bytes);
}

// A line without the bullet that lists typed by hand start with.
std::string withoutBullet(std::string line) {
    for (std::string_view bullet :
         {"- ", "* ", "\u2013 ", "\u2014 ", "\u2022 ", "\u2022", "\u25CF ", "\u25AA "}) {
        if (line.starts_with(bullet)) {
            return line.substr(bullet.size());
        }
    }
    return line;
}

// Recipe plugins wrap a note that is already in parentheses in another pair: "((125 g))".
std::string withoutDoubledParentheses(const std::string& line) {
    std::string result;
    result.reserve(line.size());
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line.compare(i, 2, "((") == 0) {
            const std::size_t close = line.find_first_of("()", i + 2);
            if (close != std::string::npos && line.compare(close, 2, "))") == 0) {
                result += line.substr(i + 1, close - i);
                i = close + 1;
                continue;
            }
        }
        result.push_back(line[i]);
    }
    return result;
}

std::string asciiLowered(std::string_view text) {
    std::string lowered;
    for (char ch : text) {
        lowered.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(ch))));
    }
    return lowered;
}

// A line that only numbers the step after it: "Step 3", "Schritt 2:", "3.".
bool isStepNumber(std::string_view line) {
    const std::string lowered = asciiLowered(line);
    std::string_view rest = lowered;
    for (std::string_view word : {"step", "schritt", "\u00e9tape", "etape", "paso", "passo", "stap",
                                  "trin", "steg", "krok"}) {
        if (rest.starts_with(word)) {
            rest.remove_prefix(word.size());
            break;
        }
    }
    rest = trimCharacters(rest, " ");
    std::size_t digits = 0;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') {
        ++digits;
    }
    if (digits == 0 || digits > 3) {
        return false;
    }
    rest.remove_prefix(digits);
    return rest.empty() || rest == "." || rest == ":" || rest == ")";
}

bool isYieldLine(std::string_view line) {
    const std::string lowered = asciiLowered(line);
    if (lowered.size() > 40) {
        return false;
    }
    for (std::string_view word : {"serves ", "makes ", "yield: ", "yields ", "servings: "}) {
        if (lowered.starts_with(word) && lowered.size() > word.size() &&
            std::isdigit(static_cast<unsigned char>(lowered[word.size()]))) {
            return true;
        }
    }
    return false;
}

// The length of the link label `line` starts with ("Links:", "See also:"), or 0.
std::size_t linkLabelLength(std::string_view line) {
    const std::string lowered = asciiLowered(line.substr(0, 24));
    for (std::string_view label : kLinkWords) {
        if (lowered.starts_with(label) && lowered.size() > label.size() &&
            lowered[label.size()] == ':') {
            return label.size() + 1;
        }
    }
    return 0;
}

// Links to other recipes are no part of the method, though structured data that takes the
// text up to the next heading takes them in: a last step that starts with a link label, or a
// label on its own before the last step (the line of links under it), goes; a last step that
// ends with a sentence starting with one loses that sentence and what follows.
void dropTrailingLinks(std::vector<std::string>& directions) {
    const std::size_t count = directions.size();
    if (count >= 2 && linkLabelLength(directions[count - 2]) > 0 &&
        linkLabelLength(directions[count - 2]) ==
            trimCharacters(directions[count - 2], kWhiteSpace).size()) {
        directions.resize(count - 2);
    }
    while (!directions.empty() && linkLabelLength(directions.back()) > 0) {
        directions.pop_back();
    }
    if (directions.empty()) {
        return;
    }
    std::string& last = directions.back();
    for (std::size_t at = last.find(". "); at != std::string::npos; at = last.find(". ", at + 1)) {
        if (linkLabelLength(std::string_view(last).substr(at + 2)) > 0) {
            last.resize(at + 1);
            return;
        }
    }
}

// "*See notes below." among lines that mark an ingredient with an asterisk ("gum arabic*") is
// the footnote to those marks, not an ingredient. A line that starts with "* " is a bullet,
// gone before this.
void dropFootnotes(std::vector<IngredientGroup>& groups) {
    bool marked = false;
    for (const IngredientGroup& group : groups) {
        for (const std::string& line : group.lines) {
            marked = marked || (line.find('*', 1) != std::string::npos && !line.starts_with('*'));
        }
    }
    if (!marked) {
        return;
    }
    for (IngredientGroup& group : groups) {
        std::erase_if(group.lines, [](const std::string& line) {
            return line.size() > 1 && line[0] == '*' && !isWhiteSpace(line[1]) && line[1] != '*';
        });
    }
    std::erase_if(groups, [](const IngredientGroup& group) { return group.lines.empty(); });
}

// The words every line of a long list ends with are the label of a control repeated on each
// row ("3 chicken breasts shopping list"), not part of the ingredients: real lines differ in
// their ends. Four lines at least, so that "salt, to taste" and "pepper, to taste" stay.
void dropRepeatedEnding(std::vector<IngredientGroup>& groups) {
    std::vector<std::string*> lines;
    for (IngredientGroup& group : groups) {
        for (std::string& line : group.lines) {
            lines.push_back(&line);
        }
    }
    if (lines.size() < 4) {
        return;
    }
    std::string_view ending = *lines.front();
    for (const std::string* line : lines) {
        std::size_t same = 0;
        while (same < ending.size() && same < line->size() &&
               ending[ending.size() - 1 - same] == (*line)[line->size() - 1 - same]) {
            ++same;
        }
        ending = ending.substr(ending.size() - same);
    }
    // Whole words only: the ending starts after a blank in every line.
    const std::size_t blank = ending.find(' ');
    if (blank == std::string_view::npos) {
        return;
    }
    ending = ending.substr(blank);
    if (ending.size() < 3) {
        return;
    }
    for (const std::string* line : lines) {
        if (line->size() <= ending.size()) {
            return;
        }
    }
    for (std::string* line : lines) {
        line->resize(line->size() - ending.size());
    }
}

void tidy(PageRecipe& recipe) {
    for (IngredientGroup& group : recipe.ingredientGroups) {
        for (std::string& line : group.lines) {
            line = withoutDoubledParentheses(withoutBullet(std::move(line)));
        }
        std::erase(group.lines, std::string());
    }
    dropFootnotes(recipe.ingredientGroups);
    dropRepeatedEnding(recipe.ingredientGroups);
    for (std::string& line : recipe.directions) {
        line = withoutBullet(std::move(line));
        if (isStepNumber(line)) {
            line.clear();
        }
    }
    std::erase(recipe.directions, std::string());
    dropTrailingLinks(recipe.directions);
    // "Serves 4" after the last step is the yield, set apart from the method.
    while (!recipe.directions.empty() && isYieldLine(recipe.directions.back())) {
        if (recipe.servings.empty()) {
            recipe.servings = recipe.directions.back();
        }
        recipe.directions.pop_back();
    }
    if (!recipe.directions.empty()) {
        std::string& last = recipe.directions.back();
        const std::size_t stop = last.rfind(". ");
        if (stop != std::string::npos && isYieldLine(std::string_view(last).substr(stop + 2))) {
            if (recipe.servings.empty()) {
                recipe.servings = last.substr(stop + 2);
            }
            last.resize(stop + 1);
        }
    }
}

}  // namespace

Result<PageRecipe> RecipePageParser::parse(std::string_view page, std::string_view pageUrl) {
    return parse(page, pageUrl, Options{});
}

Result<PageRecipe> RecipePageParser::parse(std::string_view page, std::string_view pageUrl,
                                           const Options& options) {
    const DecodedText decoded = decodePage(page);
    const std::string_view text = decoded.text;
    std::optional<PageRecipe> fromJsonLd;
    if (options.fastPath) {
        fromJsonLd = recipeFromJsonLd(decodedBlocks(jsonLdBlocks(text)), pageUrl);
        // A name that may be the document title with its suffix needs the page's headings.
        if (fromJsonLd && isComplete(*fromJsonLd) &&
            !(hasTitleSeparator(fromJsonLd->name) && isTitleText(text, fromJsonLd->name))) {
            tidy(*fromJsonLd);
            return std::move(*fromJsonLd);
        }
    }
    // With the JSON-LD taken from the scan, the tree needs no script's text.
    const std::string stripped = options.fastPath ? pageForTree(text) : std::string();
    const HtmlDocument document(
        prefixOf(options.fastPath ? std::string_view(stripped) : text, options.mostTreeBytes));
    if (!options.fastPath) {
        fromJsonLd = recipeFromJsonLd(jsonLdFromTree(document), pageUrl);
    }
    // A whole JSON-LD recipe is taken as it is, but for a name the document title lent it;
    // the fast path comes here only for such a name, and ends as the full parse does.
    if (fromJsonLd && isComplete(*fromJsonLd)) {
        fromJsonLd->name = nameWithoutTitleSuffix(document, fromJsonLd->name);
        tidy(*fromJsonLd);
        return std::move(*fromJsonLd);
    }
    std::optional<PageRecipe> fromMicrodata = recipeFromMicrodata(document, pageUrl);
    std::optional<PageRecipe> chosen;
    if (fromJsonLd) {
        chosen = std::move(fromJsonLd);
        if (fromMicrodata) {
            complete(*chosen, *fromMicrodata);
        }
    } else if (fromMicrodata) {
        chosen = std::move(fromMicrodata);
    }
    if (!chosen || !isComplete(*chosen)) {
        if (std::optional<PageRecipe> fromMarkup = recipeFromMarkup(document, pageUrl)) {
            if (chosen && chosen->ingredientLines().size() == 1 &&
                fromMarkup->ingredientLines().size() >= 3) {
                chosen->ingredientGroups = fromMarkup->ingredientGroups;
            }
            if (chosen) {
                complete(*chosen, *fromMarkup);
            } else {
                chosen = std::move(fromMarkup);
            }
        }
    }
    if (!chosen || !chosen->hasIngredients()) {
        return makeError(kRecipePageErrorDomain, ErrorCode::NoRecipe, kNoRecipeFound);
    }
    if (chosen->name.empty()) {
        chosen->name = pageTitle(document);
    } else if (chosen->origin == PageRecipe::Origin::JsonLd ||
               chosen->origin == PageRecipe::Origin::Microdata) {
        chosen->name = nameWithoutTitleSuffix(document, chosen->name);
    }
    if (chosen->imageUrl.empty()) {
        chosen->imageUrl = pageImage(document, pageUrl);
    }
    tidy(*chosen);
    return std::move(*chosen);
}

}  // namespace miravel
