#include "server/Entities.h"

#include <algorithm>
#include <array>
#include <span>
#include <unordered_set>

#include <fmt/format.h>

#include "lib/DateText.h"
#include "lib/Gzip.h"
#include "lib/JsonKind.h"
#include "lib/JsonParser.h"

namespace miravel::server {

namespace {

using Kind = JsonKind;

struct Member {
    std::string_view key;
    Kind kind;
};

constexpr std::array kCategoryMembers{Member{"name", Kind::Text},
                                      Member{"order_flag", Kind::Integer}};
constexpr std::array kGroceryMembers{
    Member{"name", Kind::Text},          Member{"purchased", Kind::Boolean},
    Member{"order_flag", Kind::Integer}, Member{"recipe", Kind::Text},
    Member{"aisle", Kind::Text},         Member{"ingredient", Kind::Text}};
constexpr std::array kMealMembers{Member{"type", Kind::Integer}, Member{"date", Kind::Date},
                                  Member{"order_flag", Kind::Integer}, Member{"name", Kind::Text},
                                  Member{"recipe_uid", Kind::Text}};
constexpr std::array kBookmarkMembers{Member{"url", Kind::Text}, Member{"title", Kind::Text},
                                      Member{"order_flag", Kind::Integer}};
constexpr std::array kRecipeMembers{Member{"name", Kind::Text},
                                    Member{"directions", Kind::Text},
                                    Member{"servings", Kind::Text},
                                    Member{"rating", Kind::Integer},
                                    Member{"difficulty", Kind::Text},
                                    Member{"ingredients", Kind::Text},
                                    Member{"notes", Kind::Text},
                                    Member{"created", Kind::Date},
                                    Member{"image_url", Kind::Text},
                                    Member{"on_favorites", Kind::Boolean},
                                    Member{"cook_time", Kind::Text},
                                    Member{"prep_time", Kind::Text},
                                    Member{"source", Kind::Text},
                                    Member{"source_url", Kind::Text},
                                    Member{"photo_hash", Kind::Text},
                                    Member{"photo", Kind::Text},
                                    Member{"nutritional_info", Kind::Text},
                                    Member{"categories", Kind::Uids},
                                    Member{"hash", Kind::Text}};

std::span<const Member> membersOf(EntityKind kind) {
    switch (kind) {
        case EntityKind::Categories:
            return kCategoryMembers;
        case EntityKind::Groceries:
            return kGroceryMembers;
        case EntityKind::Meals:
            return kMealMembers;
        case EntityKind::Bookmarks:
            return kBookmarkMembers;
        case EntityKind::Recipes:
            return kRecipeMembers;
    }
    return {};
}

bool hasKind(const JsonValue& value, Kind kind) {
    if (!hasJsonKind(value, kind)) {
        return false;
    }
    return kind != Kind::Uids || std::ranges::all_of(value.asArray(), [](const auto& item) {
               return isValidUid(item.asString());
           });
}

std::unexpected<ApiError> badRequest(std::string message) {
    return apiError(ApiErrorKind::BadRequest, std::move(message));
}

ApiResult<JsonValue> parseJson(std::string_view json) {
    // The client writes its dictionaries in the byte-exact form of content hashes, which
    // leaves some control characters raw inside strings.
    JsonParser::Options options;
    options.maxDepth = 64;
    options.allowRawControlCharacters = true;
    auto parsed = JsonParser::parse(json, options);
    if (!parsed) {
        return badRequest(
            fmt::format("The data is not valid JSON: {}", parsed.error().description));
    }
    return std::move(*parsed);
}

}  // namespace

std::string_view entityKindName(EntityKind kind) {
    switch (kind) {
        case EntityKind::Categories:
            return "categories";
        case EntityKind::Groceries:
            return "groceries";
        case EntityKind::Meals:
            return "meals";
        case EntityKind::Bookmarks:
            return "bookmarks";
        case EntityKind::Recipes:
            return "recipes";
    }
    return "";
}

bool isValidUid(std::string_view uid) {
    if (uid.empty() || uid.size() > kMaxUidLength || uid.find("..") != std::string_view::npos) {
        return false;
    }
    return std::ranges::all_of(uid, [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte > 0x20 && byte < 0x7f && c != '/' && c != '\\' && c != '?' && c != '#' &&
               c != '%' && c != '"';
    });
}

ApiResult<EntityRecord> readEntity(EntityKind kind, const JsonValue& value,
                                   std::string_view where) {
    if (!value.isObject()) {
        return badRequest(fmt::format("{} is not a JSON object.", where));
    }
    const JsonObject& object = value.asObject();
    const JsonValue* uid = object.find("uid");
    if (!uid || !uid->isString()) {
        return badRequest(fmt::format("{} has no \"uid\" text.", where));
    }
    if (!isValidUid(uid->asString())) {
        return badRequest(fmt::format("{} has an invalid \"uid\".", where));
    }
    EntityRecord record{uid->asString(), false, object};
    if (const JsonValue* deleted = object.find("deleted"); deleted && !deleted->isNull()) {
        if (!deleted->isBoolean()) {
            return badRequest(fmt::format("\"deleted\" of {} must be true or false.", where));
        }
        record.deleted = deleted->asBoolean();
    }
    for (const Member& member : membersOf(kind)) {
        const JsonValue* found = object.find(member.key);
        if (found && !found->isNull() && !hasKind(*found, member.kind)) {
            return badRequest(fmt::format("\"{}\" of {} must be {} or null.", member.key, where,
                                          jsonKindName(member.kind)));
        }
    }
    if (kind == EntityKind::Recipes && !record.deleted) {
        const JsonValue* hash = object.find("hash");
        if (!hash || !hash->isString() || hash->asString().empty()) {
            return badRequest(fmt::format("{} has no \"hash\".", where));
        }
        if (hash->asString().size() > kMaxHashLength) {
            return badRequest(fmt::format("{} has an invalid \"hash\".", where));
        }
    }
    return record;
}

ApiResult<std::vector<EntityRecord>> readEntityList(EntityKind kind, std::string_view json) {
    auto parsed = parseJson(json);
    if (!parsed) {
        return std::unexpected(parsed.error());
    }
    if (!parsed->isArray()) {
        return badRequest("The data must be a JSON array.");
    }
    const JsonArray& items = parsed->asArray();
    if (items.size() > kMaxEntitiesPerUpload) {
        return apiError(ApiErrorKind::TooLarge, fmt::format("At most {} items may be sent at once.",
                                                            kMaxEntitiesPerUpload));
    }
    std::vector<EntityRecord> records;
    records.reserve(items.size());
    std::unordered_set<std::string> seen;
    for (std::size_t i = 0; i < items.size(); ++i) {
        auto record = readEntity(kind, items[i], fmt::format("Item {}", i + 1));
        if (!record) {
            return std::unexpected(record.error());
        }
        if (!seen.insert(record->uid).second) {
            return badRequest(fmt::format("Item {} repeats the uid \"{}\".", i + 1, record->uid));
        }
        records.push_back(std::move(*record));
    }
    return records;
}

ApiResult<EntityRecord> readRecipe(std::string_view json) {
    auto parsed = parseJson(json);
    if (!parsed) {
        return std::unexpected(parsed.error());
    }
    return readEntity(EntityKind::Recipes, *parsed, "The recipe");
}

ApiResult<std::string> readDataPart(std::string_view bytes, std::size_t maxSize) {
    const auto first = bytes.find_first_not_of(" \t\r\n");
    if (first != std::string_view::npos && (bytes[first] == '[' || bytes[first] == '{')) {
        if (bytes.size() > maxSize) {
            return apiError(ApiErrorKind::TooLarge, "The data part is too large.");
        }
        return std::string(bytes);
    }
    return readGzipPart(bytes, maxSize, "data");
}

ApiResult<std::string> readGzipPart(std::string_view bytes, std::size_t maxSize,
                                    std::string_view partName) {
    auto inflated = inflateGzipOrZlib(bytes, maxSize);
    if (!inflated) {
        if (inflated.error().code == static_cast<int>(GzipErrorCode::TooLarge)) {
            return apiError(ApiErrorKind::TooLarge,
                            fmt::format("The {} part inflates beyond its limit.", partName));
        }
        return badRequest(fmt::format("The {} part is not gzip data.", partName));
    }
    return std::move(*inflated);
}

}  // namespace miravel::server
