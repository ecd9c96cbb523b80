#include <httplib.h>
#include <sodium.h>

#include <algorithm>
#include <chrono>
#include <map>

#include <fmt/format.h>

#include "ingredients/IngredientParser.h"
#include "lib/Crypto.h"
#include "lib/JsonParser.h"
#include "lib/Log.h"
#include "server/Controllers.h"
#include "server/JsonText.h"
#include "server/StorageSupport.h"

namespace miravel::server {

namespace {

constexpr std::string_view kMiscellaneousAisle = "Miscellaneous";
constexpr std::size_t kMaxItemNameBytes = 1000;
constexpr std::size_t kMaxUidsPerChange = 1000;

std::string optionalText(const JsonObject& object, std::string_view key) {
    const JsonValue* value = object.find(key);
    return value != nullptr && value->isString() ? value->asString() : std::string();
}

bool isHexToken(std::string_view token, std::size_t length) {
    return token.size() == length && std::all_of(token.begin(), token.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

std::optional<std::string> cookieValue(const httplib::Request& request, std::string_view name) {
    const std::string header = request.get_header_value("Cookie");
    std::string_view rest(header);
    while (!rest.empty()) {
        const auto end = rest.find(';');
        std::string_view pair = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        while (!pair.empty() && pair.front() == ' ') {
            pair.remove_prefix(1);
        }
        if (pair.size() > name.size() && pair.substr(0, name.size()) == name &&
            pair[name.size()] == '=') {
            return std::string(pair.substr(name.size() + 1));
        }
    }
    return std::nullopt;
}

// A uid of the form the desktop makes for its own items.
std::string newItemUid() {
    unsigned char bytes[16];
    randombytes_buf(bytes, sizeof bytes);
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0f) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3f) | 0x80);
    std::string uid;
    for (std::size_t i = 0; i < sizeof bytes; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            uid += '-';
        }
        uid += fmt::format("{:02X}", bytes[i]);
    }
    return uid;
}

ApiResult<JsonObject> jsonBody(const httplib::Request& request) {
    auto parsed = JsonParser::parse(request.body);
    if (!parsed || !parsed->isObject()) {
        return apiError(ApiErrorKind::BadRequest, "The request is not a JSON object.");
    }
    return parsed->asObject();
}

struct GroceryItem {
    std::string uid;
    std::string name;
    std::string aisle;
    std::string ingredient;
    std::string recipe;  // empty for the user's own items
    bool purchased = false;
};

struct GroceryRow {
    std::string name;
    std::string ingredient;
    std::string recipe;
    std::vector<const GroceryItem*> items;
    bool purchased() const {
        return !items.empty() && std::all_of(items.begin(), items.end(),
                                             [](const auto* item) { return item->purchased; });
    }
};

struct GrocerySection {
    std::string title;
    std::vector<GroceryRow> rows;
};

// The live items of the account; dictionaries that do not parse are left out (the sync
// upload checked them, so none should be there).
ApiResult<std::vector<JsonObject>> liveGroceryDictionaries(Storage& storage, std::int64_t account) {
    auto stored = storage.entities(account, EntityKind::Groceries);
    if (!stored) {
        return internalError(stored.error());
    }
    std::vector<JsonObject> dictionaries;
    dictionaries.reserve(stored->size());
    for (const auto& text : *stored) {
        auto parsed = JsonParser::parse(text);
        if (!parsed || !parsed->isObject()) {
            continue;
        }
        const JsonValue* deleted = parsed->member("deleted");
        if (deleted != nullptr && deleted->isBoolean() && deleted->asBoolean()) {
            continue;
        }
        dictionaries.push_back(parsed->asObject());
    }
    return dictionaries;
}

std::string typeName(std::int64_t type) {
    static constexpr std::array<const char*, 4> kNames{"Breakfast", "Lunch", "Dinner", "Snacks"};
    return type >= 0 && type < 4 ? kNames[static_cast<std::size_t>(type)] : "";
}

std::optional<std::chrono::sys_days> dayOfText(std::string_view text) {
    if (text.size() < 10 || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    int year = 0;
    unsigned month = 0;
    unsigned day = 0;
    try {
        year = std::stoi(std::string(text.substr(0, 4)));
        month = static_cast<unsigned>(std::stoi(std::string(text.substr(5, 2))));
        day = static_cast<unsigned>(std::stoi(std::string(text.substr(8, 2))));
    } catch (const std::exception&) {
        return std::nullopt;
    }
    const std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(month),
                                           std::chrono::day(day)};
    if (!date.ok()) {
        return std::nullopt;
    }
    return std::chrono::sys_days(date);
}

std::string textOfDay(std::chrono::sys_days day) {
    const std::chrono::year_month_day date(day);
    return fmt::format("{:04}-{:02}-{:02}", static_cast<int>(date.year()),
                       static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
}

}  // namespace

ApiResult<WebSignIn> WebAppController::signIn(const httplib::Request& request,
                                              const std::string& address) {
    auto email = formField(request, "email");
    if (!email) {
        return std::unexpected(email.error());
    }
    auto password = formField(request, "password");
    if (!password) {
        return std::unexpected(password.error());
    }
    auto account = m_accounts.login(email->value_or(""), password->value_or(""), address);
    if (!account) {
        return std::unexpected(account.error());
    }
    WebSignIn signedIn{newPhotoToken() + newPhotoToken(), newPhotoToken()};
    if (auto stored =
            m_storage.createSession(sha256Hex(signedIn.sessionToken), account->id,
                                    signedIn.csrfToken, nowSeconds() + kWebSessionSeconds);
        !stored) {
        return internalError(stored.error());
    }
    return signedIn;
}

ApiResult<WebSession> WebAppController::session(const httplib::Request& request) {
    const auto refused = [] {
        return apiError(ApiErrorKind::Unauthorized, "Sign in to see the list.");
    };
    auto token = cookieValue(request, kSessionCookie);
    if (!token || !isHexToken(*token, 64)) {
        return refused();
    }
    auto found = m_storage.session(sha256Hex(*token), nowSeconds());
    if (!found) {
        return internalError(found.error());
    }
    if (!*found) {
        return refused();
    }
    return **found;
}

ApiResult<WebSession> WebAppController::sessionForChange(const httplib::Request& request) {
    auto found = session(request);
    if (!found) {
        return found;
    }
    const std::string sent = request.get_header_value("X-CSRF-Token");
    if (sent.size() != found->csrfToken.size() ||
        sodium_memcmp(sent.data(), found->csrfToken.data(), sent.size()) != 0) {
        return apiError(ApiErrorKind::Forbidden, "The change came without the page's token.");
    }
    return found;
}

ApiResult<void> WebAppController::signOut(const httplib::Request& request) {
    if (auto found = sessionForChange(request); !found) {
        return std::unexpected(found.error());
    }
    auto token = cookieValue(request, kSessionCookie);
    if (auto removed = m_storage.deleteSession(sha256Hex(token.value_or(""))); !removed) {
        return internalError(removed.error());
    }
    return {};
}

ApiResult<std::string> WebAppController::groceries(std::int64_t account,
                                                   const httplib::Request& request) {
    auto dictionaries = liveGroceryDictionaries(m_storage, account);
    if (!dictionaries) {
        return std::unexpected(dictionaries.error());
    }
    const std::string show = request.has_param("show") ? request.get_param_value("show") : "all";
    const std::string chosenRecipe = request.get_param_value("recipe");
    if (show != "all" && show != "mine" && show != "recipe") {
        return apiError(ApiErrorKind::BadRequest, "\"show\" is all, mine or recipe.");
    }
    const auto& parser = IngredientParser::sharedParser();

    std::vector<GroceryItem> items;
    std::vector<std::string> recipes;
    for (const auto& dictionary : *dictionaries) {
        GroceryItem item{optionalText(dictionary, "uid"),    optionalText(dictionary, "name"),
                         optionalText(dictionary, "aisle"),  optionalText(dictionary, "ingredient"),
                         optionalText(dictionary, "recipe"), false};
        const JsonValue* purchased = dictionary.find("purchased");
        item.purchased = purchased != nullptr && purchased->isBoolean() && purchased->asBoolean();
        if (item.aisle.empty()) {
            // An item typed on a device without the ingredient language: the desktop
            // recognises it the same way when it shows the list.
            item.aisle = parser.getAisle(item.name);
        }
        if (!item.recipe.empty()) {
            recipes.push_back(item.recipe);
        }
        if ((show == "mine" && !item.recipe.empty()) ||
            (show == "recipe" && item.recipe != chosenRecipe)) {
            continue;
        }
        items.push_back(std::move(item));
    }
    std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) {
        return std::tie(a.aisle, a.ingredient, a.name) < std::tie(b.aisle, b.ingredient, b.name);
    });
    std::sort(recipes.begin(), recipes.end(), [](const auto& a, const auto& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](char x, char y) {
                                                return std::tolower(static_cast<unsigned char>(x)) <
                                                       std::tolower(static_cast<unsigned char>(y));
                                            });
    });
    recipes.erase(std::unique(recipes.begin(), recipes.end()), recipes.end());

    // Like items merge only in the entire list, as on the desktop: a filtered view shows
    // each item as it is.
    const bool consolidate = show == "all";
    std::vector<GrocerySection> sections;
    for (const auto& item : items) {
        const std::string title =
            item.aisle.empty() ? std::string(kMiscellaneousAisle) : item.aisle;
        if (sections.empty() || sections.back().title != title) {
            sections.push_back({title, {}});
        }
        auto& rows = sections.back().rows;
        bool merged = false;
        if (consolidate && !item.ingredient.empty()) {
            for (auto& row : rows) {
                if (row.ingredient != item.ingredient) {
                    continue;
                }
                if (auto name = parser.consolidateItems(row.name, item.name, item.ingredient)) {
                    row.name = std::move(*name);
                    row.items.push_back(&item);
                    merged = true;
                    break;
                }
            }
        }
        if (!merged) {
            rows.push_back({item.name, item.ingredient, item.recipe, {&item}});
        }
    }

    JsonArray sectionsJson;
    for (auto& section : sections) {
        // What is in the basket goes below what is still to find in the aisle.
        std::stable_partition(section.rows.begin(), section.rows.end(),
                              [](const GroceryRow& row) { return !row.purchased(); });
        JsonArray rows;
        for (const auto& row : section.rows) {
            JsonArray uids;
            for (const auto* item : row.items) {
                uids.push_back(JsonValue(item->uid));
            }
            rows.push_back(JsonValue(
                JsonObject{{"name", JsonValue(row.name)},
                           {"purchased", JsonValue(row.purchased())},
                           {"recipe", row.recipe.empty() ? JsonValue() : JsonValue(row.recipe)},
                           {"uids", JsonValue(std::move(uids))}}));
        }
        sectionsJson.push_back(JsonValue(
            JsonObject{{"title", JsonValue(section.title)}, {"rows", JsonValue(std::move(rows))}}));
    }
    JsonArray recipesJson;
    for (auto& name : recipes) {
        recipesJson.push_back(JsonValue(std::move(name)));
    }
    return strictJson(JsonValue(JsonObject{{"sections", JsonValue(std::move(sectionsJson))},
                                           {"recipes", JsonValue(std::move(recipesJson))}}));
}

ApiResult<std::string> WebAppController::setPurchased(std::int64_t account,
                                                      const httplib::Request& request) {
    auto body = jsonBody(request);
    if (!body) {
        return std::unexpected(body.error());
    }
    const JsonValue* uids = body->find("uids");
    const JsonValue* purchased = body->find("purchased");
    if (uids == nullptr || !uids->isArray() || purchased == nullptr || !purchased->isBoolean()) {
        return apiError(ApiErrorKind::BadRequest,
                        "The change needs \"uids\" (an array) and \"purchased\" (true or false).");
    }
    if (uids->asArray().size() > kMaxUidsPerChange) {
        return apiError(ApiErrorKind::TooLarge, "Too many items in one change.");
    }
    std::vector<std::string> wanted;
    for (const auto& uid : uids->asArray()) {
        if (!uid.isString() || !isValidUid(uid.asString())) {
            return apiError(ApiErrorKind::BadRequest, "A uid of the change is not valid.");
        }
        wanted.push_back(uid.asString());
    }
    auto dictionaries = liveGroceryDictionaries(m_storage, account);
    if (!dictionaries) {
        return std::unexpected(dictionaries.error());
    }
    // Only the named items are written, each with just its "purchased" changed: a second
    // phone checking other items at the same moment loses nothing.
    std::vector<EntityRecord> records;
    for (auto& dictionary : *dictionaries) {
        const std::string uid = optionalText(dictionary, "uid");
        if (std::find(wanted.begin(), wanted.end(), uid) == wanted.end()) {
            continue;
        }
        dictionary.set("purchased", JsonValue(purchased->asBoolean()));
        records.push_back(EntityRecord{uid, false, std::move(dictionary)});
    }
    if (!records.empty()) {
        if (auto applied = m_storage.applyEntities(account, EntityKind::Groceries, records);
            !applied) {
            return internalError(applied.error());
        }
    }
    // Items deleted on the desktop since the page was loaded are simply not there any more.
    return strictJson(
        JsonValue(JsonObject{{"changed", JsonValue(static_cast<std::int64_t>(records.size()))}}));
}

ApiResult<std::string> WebAppController::addItem(std::int64_t account,
                                                 const httplib::Request& request) {
    auto body = jsonBody(request);
    if (!body) {
        return std::unexpected(body.error());
    }
    std::string name = optionalText(*body, "name");
    const auto first = name.find_first_not_of(" \t\r\n");
    const auto last = name.find_last_not_of(" \t\r\n");
    name = first == std::string::npos ? std::string() : name.substr(first, last - first + 1);
    if (name.empty()) {
        return apiError(ApiErrorKind::BadRequest, "The item needs a name.");
    }
    if (name.size() > kMaxItemNameBytes) {
        return apiError(ApiErrorKind::TooLarge, "The item's name is too long.");
    }
    std::optional<std::string> ingredient;
    const std::string aisle = IngredientParser::sharedParser().getAisle(name, &ingredient);
    const std::string uid = newItemUid();
    const JsonValue dictionary(
        JsonObject{{"uid", JsonValue(uid)},
                   {"name", JsonValue(name)},
                   {"purchased", JsonValue(false)},
                   {"order_flag", JsonValue()},
                   {"recipe", JsonValue()},
                   {"aisle", aisle.empty() ? JsonValue(kMiscellaneousAisle) : JsonValue(aisle)},
                   {"ingredient", ingredient ? JsonValue(*ingredient) : JsonValue()},
                   {"deleted", JsonValue(false)}});
    auto record = readEntity(EntityKind::Groceries, dictionary, "the item");
    if (!record) {
        return std::unexpected(record.error());
    }
    if (auto applied = m_storage.applyEntities(account, EntityKind::Groceries, {*record});
        !applied) {
        return internalError(applied.error());
    }
    return strictJson(dictionary);
}

ApiResult<std::string> WebAppController::meals(std::int64_t account,
                                               const httplib::Request& request) {
    std::chrono::sys_days from =
        std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
    if (request.has_param("from")) {
        auto day = dayOfText(request.get_param_value("from"));
        if (!day || request.get_param_value("from").size() != 10) {
            return apiError(ApiErrorKind::BadRequest, "\"from\" is a day as yyyy-MM-dd.");
        }
        from = *day;
    }
    auto stored = m_storage.entities(account, EntityKind::Meals);
    if (!stored) {
        return internalError(stored.error());
    }
    struct Meal {
        std::int64_t day;
        std::int64_t type;
        std::int64_t order;
        std::string name;
        std::string recipeUid;
    };
    std::vector<Meal> meals;
    for (const auto& text : *stored) {
        auto parsed = JsonParser::parse(text);
        if (!parsed || !parsed->isObject()) {
            continue;
        }
        const JsonObject& meal = parsed->asObject();
        const JsonValue* deleted = meal.find("deleted");
        const JsonValue* type = meal.find("type");
        const JsonValue* order = meal.find("order_flag");
        auto day = dayOfText(optionalText(meal, "date"));
        if ((deleted != nullptr && deleted->isBoolean() && deleted->asBoolean()) || !day ||
            type == nullptr || !type->isInteger() || typeName(type->asInteger()).empty()) {
            continue;
        }
        const auto offset = (*day - from).count();
        if (offset < 0 || offset >= 7) {
            continue;
        }
        meals.push_back({offset, type->asInteger(),
                         order != nullptr && order->isInteger() ? order->asInteger() : 0,
                         optionalText(meal, "name"), optionalText(meal, "recipe_uid")});
    }
    std::stable_sort(meals.begin(), meals.end(), [](const Meal& a, const Meal& b) {
        return std::tie(a.day, a.type, a.order) < std::tie(b.day, b.type, b.order);
    });
    std::map<std::string, std::string> recipeNames;
    JsonArray days;
    for (std::int64_t offset = 0; offset < 7; ++offset) {
        JsonArray dayMeals;
        for (const auto& meal : meals) {
            if (meal.day != offset) {
                continue;
            }
            std::string name = meal.name;
            bool hasRecipe = false;
            if (!meal.recipeUid.empty() && isValidUid(meal.recipeUid)) {
                auto found = recipeNames.find(meal.recipeUid);
                if (found == recipeNames.end()) {
                    auto recipe = m_storage.recipe(account, meal.recipeUid);
                    if (!recipe) {
                        return internalError(recipe.error());
                    }
                    std::string recipeName;
                    if (*recipe) {
                        if (auto body = JsonParser::parse((*recipe)->body);
                            body && body->isObject()) {
                            recipeName = optionalText(body->asObject(), "name");
                        }
                    }
                    found = recipeNames.emplace(meal.recipeUid, recipeName).first;
                }
                hasRecipe = !found->second.empty();
                if (name.empty()) {
                    name = found->second;
                }
            }
            dayMeals.push_back(JsonValue(
                JsonObject{{"type", JsonValue(typeName(meal.type))},
                           {"name", JsonValue(name)},
                           {"recipe_uid", hasRecipe ? JsonValue(meal.recipeUid) : JsonValue()}}));
        }
        days.push_back(
            JsonValue(JsonObject{{"date", JsonValue(textOfDay(from + std::chrono::days(offset)))},
                                 {"meals", JsonValue(std::move(dayMeals))}}));
    }
    return strictJson(JsonValue(JsonObject{{"days", JsonValue(std::move(days))}}));
}

ApiResult<std::string> WebAppController::recipe(std::int64_t account, const std::string& uid) {
    auto stored = m_storage.recipe(account, uid);
    if (!stored) {
        return internalError(stored.error());
    }
    if (!*stored) {
        return apiError(ApiErrorKind::NotFound, "There is no such recipe.");
    }
    auto body = JsonParser::parse((*stored)->body);
    if (!body || !body->isObject()) {
        return apiError(ApiErrorKind::NotFound, "There is no such recipe.");
    }
    const JsonObject& recipe = body->asObject();
    return strictJson(JsonValue(
        JsonObject{{"name", JsonValue(optionalText(recipe, "name"))},
                   {"ingredients", JsonValue(optionalText(recipe, "ingredients"))},
                   {"directions", JsonValue(optionalText(recipe, "directions"))},
                   {"photo", (*stored)->photoToken ? JsonValue("/photos/" + *(*stored)->photoToken)
                                                   : JsonValue()}}));
}

}  // namespace miravel::server
