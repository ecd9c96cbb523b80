#include "model/RecipeCategory.h"

#include <algorithm>

#include "lib/Log.h"
#include "lib/StringTable.h"
#include "lib/TextCollation.h"
#include "lib/TextFolding.h"
#include "lib/TextPieces.h"
#include "model/Recipe.h"
#include "model/UserSettings.h"
#include "store/ManagedObjectContext.h"

namespace miravel {

std::vector<std::shared_ptr<Recipe>> RecipeCategory::recipes() const {
    std::vector<std::shared_ptr<Recipe>> recipes;
    for (auto& object : toMany("recipes")) {
        recipes.push_back(std::static_pointer_cast<Recipe>(object));
    }
    return recipes;
}

std::optional<JsonObject> RecipeCategory::objectDictionary() const {
    JsonObject dictionary;
    dictionary.set("uid", uid());
    dictionary.set("name", textMember("name"));
    dictionary.set("order_flag", orderFlag());
    dictionary.set("deleted", deletedMember());
    return dictionary;
}

void RecipeCategory::prepareForDeletion() {
    auto* context = managedObjectContext();
    // Signed in, a category leaves the store only through the sync, which sees to its recipes.
    if (context == nullptr || isLoggedIn(*context)) {
        return;
    }
    auto self = std::static_pointer_cast<RecipeCategory>(shared_from_this());
    for (const auto& recipe : recipes()) {
        if (!recipe->isReallyDeleted()) {
            recipe->removeCategory(self);
            recipe->setModified();
        }
    }
}

namespace {

std::vector<std::shared_ptr<RecipeCategory>> liveCategories(ManagedObjectContext& context) {
    auto fetched = context.fetch<RecipeCategory>(livePredicate(), {SortDescriptor("orderFlag")});
    if (!fetched) {
        logUnresolvedError(fetched.error());
        return {};
    }
    return std::move(*fetched);
}

}  // namespace

Result<std::string> RecipeCategory::checkedName(ManagedObjectContext& context,
                                                std::string_view name,
                                                const RecipeCategory* renamed) {
    auto trimmed = trimmedName(name);
    if (!trimmed) {
        return makeError(kCategoryErrorDomain, 1, tr("A category needs a name."));
    }
    const std::string folded = foldCase(*trimmed);
    for (const auto& other : liveCategories(context)) {
        if (other.get() != renamed && foldCase(other->name().value_or("")) == folded) {
            return makeError(kCategoryErrorDomain, 2,
                             tr("There is already a category named") + " \"" +
                                 other->name().value_or("") + "\".");
        }
    }
    return std::move(*trimmed);
}

std::shared_ptr<RecipeCategory> RecipeCategory::named(ManagedObjectContext& context,
                                                      std::string_view name) {
    const auto categories = liveCategories(context);
    for (const auto& category : categories) {
        if (category->name() == name) {
            return category;
        }
    }
    const std::string folded = foldCase(trimCharacters(name, kNameSpace));
    for (const auto& category : categories) {
        if (foldCase(category->name().value_or("")) == folded) {
            return category;
        }
    }
    return nullptr;
}

Result<std::shared_ptr<RecipeCategory>> RecipeCategory::insertNamed(ManagedObjectContext& context,
                                                                    std::string_view name) {
    auto checked = checkedName(context, name);
    if (!checked) {
        return std::unexpected(checked.error());
    }
    // Counted over the fetched list rather than by the store's maximum, so that categories
    // inserted together before one save still follow one another.
    std::int64_t last = 0;
    for (const auto& other : liveCategories(context)) {
        last = std::max(last, other->orderFlag());
    }
    auto category = context.insert<RecipeCategory>();
    category->setName(std::move(*checked));
    category->setOrderFlag(last + 1);
    return category;
}

std::string RecipeCategory::categoriesToString(
    const std::vector<std::shared_ptr<RecipeCategory>>& categories, bool alphabetize) {
    if (categories.empty()) {
        return tr("Uncategorized");
    }
    auto sorted = categories;
    auto byName = [](const auto& a, const auto& b) {
        return localizedCaseInsensitiveCompare(a->name().value_or(""), b->name().value_or(""));
    };
    auto byOrder = [](const auto& a, const auto& b) {
        return a->orderFlag() < b->orderFlag() ? -1 : (a->orderFlag() > b->orderFlag() ? 1 : 0);
    };
    std::stable_sort(sorted.begin(), sorted.end(), [&](const auto& a, const auto& b) {
        int first = alphabetize ? byName(a, b) : byOrder(a, b);
        if (first != 0) {
            return first < 0;
        }
        return (alphabetize ? byOrder(a, b) : byName(a, b)) < 0;
    });
    std::string text;
    for (const auto& category : sorted) {
        if (!text.empty()) {
            text += ", ";
        }
        text += category->name().value_or("");
    }
    return text;
}

}  // namespace miravel
