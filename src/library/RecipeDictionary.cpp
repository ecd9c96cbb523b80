#include "library/RecipeDictionary.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "lib/JsonKind.h"
#include "lib/JsonWriter.h"
#include "lib/TextPieces.h"
#include "store/ManagedObjectContext.h"

namespace miravel {

namespace {

using Kind = JsonKind;

struct Member {
    std::string_view key;
    Kind kind;
};

constexpr std::array kMembers{
    Member{"uid", Kind::Text},
    Member{"name", Kind::Text},
    Member{"directions", Kind::Text},
    Member{"servings", Kind::Text},
    Member{"rating", Kind::Integer},
    Member{"difficulty", Kind::Text},
    Member{"ingredients", Kind::Text},
    Member{"notes", Kind::Text},
    Member{"created", Kind::Text},
    Member{"image_url", Kind::Text},
    Member{"on_favorites", Kind::Boolean},
    Member{"cook_time", Kind::Text},
    Member{"prep_time", Kind::Text},
    Member{"source", Kind::Text},
    Member{"source_url", Kind::Text},
    Member{"photo_hash", Kind::Text},
    Member{"photo", Kind::Text},
    Member{"nutritional_info", Kind::Text},
    Member{"deleted", Kind::Boolean},
    Member{"categories", Kind::Texts},
    Member{"hash", Kind::Text},
    Member{"photo_url", Kind::Text},
};

std::unexpected<Error> refuse(std::string_view key, const std::string& rule,
                              const JsonValue& value) {
    return makeError(
        kRecipeDictionaryErrorDomain, 1,
        "\"" + std::string(key) + "\" must be " + rule + ", not " + JsonWriter::write(value) + ".");
}

std::shared_ptr<RecipeCategory> categoryFor(ManagedObjectContext& context,
                                            const std::string& uidOrName) {
    auto byUid = context.fetch<RecipeCategory>(livePredicateAnd("uid == %@", {Value(uidOrName)}));
    if (byUid && !byUid->empty()) {
        return byUid->front();
    }
    return RecipeCategory::named(context, uidOrName);
}

}  // namespace

Result<RecipeDictionaryExtras> readRecipeDictionary(ManagedObjectContext& context,
                                                    const JsonObject& dictionary) {
    for (const auto& [key, value] : dictionary) {
        const auto member = std::ranges::find(kMembers, std::string_view(key), &Member::key);
        if (member == kMembers.end()) {
            return makeError(kRecipeDictionaryErrorDomain, 2,
                             "\"" + key + "\" is not a member of a recipe dictionary.");
        }
        if (!value.isNull() && !hasJsonKind(value, member->kind)) {
            return refuse(key, std::string(jsonKindName(member->kind)) + " or null", value);
        }
    }
    const auto given = [&](std::string_view key) -> const JsonValue* {
        const JsonValue* value = dictionary.find(key);
        return value && !value->isNull() ? value : nullptr;
    };
    if (const JsonValue* name = given("name"); name && !trimmedName(name->asString())) {
        return refuse("name", "a name that is not blank", *name);
    }
    if (const JsonValue* difficulty = given("difficulty")) {
        const std::string& text = difficulty->asString();
        if (!text.empty() && text != "Easy" && text != "Medium" && text != "Hard") {
            return refuse("difficulty", "\"Easy\", \"Medium\", \"Hard\" or \"\"", *difficulty);
        }
    }
    RecipeDictionaryExtras extras;
    if (const JsonValue* rating = given("rating")) {
        if (rating->asInteger() < 0 || rating->asInteger() > 5) {
            return refuse("rating", "a number of stars from 0 to 5", *rating);
        }
        extras.rating = rating->asInteger();
    }
    if (const JsonValue* favourite = given("on_favorites")) {
        extras.onFavorites = favourite->asBoolean();
    }
    if (const JsonValue* photo = given("photo")) {
        // A name, never a path: the photo is looked for in the library's own folder only.
        const std::string& file = photo->asString();
        if (file.empty() || file == "." || file == ".." || file.find('/') != std::string::npos) {
            return refuse("photo", "the file name of a photo in the library", *photo);
        }
        extras.photo = file;
    }
    if (const JsonValue* categories = given("categories")) {
        for (const JsonValue& item : categories->asArray()) {
            auto category = categoryFor(context, item.asString());
            if (!category) {
                return makeError(kRecipeDictionaryErrorDomain, 3,
                                 "\"categories\" names " + JsonWriter::write(item) +
                                     ", which is neither the uid nor the name of a category.");
            }
            if (std::ranges::find(extras.categories, category) == extras.categories.end()) {
                extras.categories.push_back(category);
            }
        }
    }
    return extras;
}

}  // namespace miravel
