#include "sync/MiravelSyncService.h"

#include <fmt/format.h>

#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "lib/ApplicationIdentifier.h"
#include "lib/DateText.h"
#include "lib/JsonValue.h"
#include "lib/Log.h"
#include "lib/MainQueue.h"
#include "lib/NotificationCenter.h"
#include "model/Bookmark.h"
#include "model/GroceryListItem.h"
#include "model/Library.h"
#include "model/Meal.h"
#include "model/Recipe.h"
#include "model/RecipeCategory.h"
#include "model/SyncedObject.h"
#include "model/UserSettings.h"
#include "store/BackgroundContext.h"
#include "store/FetchRequest.h"
#include "store/Predicate.h"
#include "sync/MiravelService.h"

namespace miravel {

namespace {

using ObjectList = std::vector<std::shared_ptr<SyncedObject>>;

const JsonValue* memberOf(const JsonObject& object, std::string_view key) {
    const JsonValue* value = object.find(key);
    return value && !value->isNull() ? value : nullptr;
}

std::optional<std::string> textOf(const JsonObject& object, std::string_view key) {
    const JsonValue* value = memberOf(object, key);
    if (!value) {
        return std::nullopt;
    }
    if (value->isString()) {
        return value->asString();
    }
    if (value->isInteger()) {
        return std::to_string(value->asInteger());
    }
    return std::nullopt;
}

std::optional<std::int64_t> integerOf(const JsonObject& object, std::string_view key) {
    const JsonValue* value = memberOf(object, key);
    if (!value) {
        return std::nullopt;
    }
    if (value->isInteger()) {
        return value->asInteger();
    }
    if (value->isBoolean()) {
        return value->asBoolean() ? 1 : 0;
    }
    if (value->isNumber()) {
        return static_cast<std::int64_t>(value->asDouble());
    }
    if (value->isString()) {
        try {
            return std::stoll(value->asString());
        } catch (...) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<bool> booleanOf(const JsonObject& object, std::string_view key) {
    auto number = integerOf(object, key);
    return number ? std::optional<bool>(*number != 0) : std::nullopt;
}

// The objects of a list answer; members that are no object are skipped, as is an object
// without a usable uid, since nothing could name it afterwards.
std::vector<const JsonObject*> serverObjects(const JsonValue& list) {
    std::vector<const JsonObject*> objects;
    if (!list.isArray()) {
        return objects;
    }
    for (const JsonValue& item : list.asArray()) {
        if (item.isObject() && textOf(item.asObject(), "uid").value_or("").size() > 0) {
            objects.push_back(&item.asObject());
        }
    }
    return objects;
}

Result<ObjectList> fetchAll(ManagedObjectContext& context, const std::string& entity,
                            std::vector<SortDescriptor> sort = {},
                            std::vector<std::string> properties = {}) {
    FetchRequest request{entity, std::nullopt, std::move(sort), 0, true, std::move(properties)};
    auto objects = context.executeFetchRequest(request);
    if (!objects) {
        return std::unexpected(objects.error());
    }
    ObjectList typed;
    typed.reserve(objects->size());
    for (auto& object : *objects) {
        typed.push_back(std::static_pointer_cast<SyncedObject>(object));
    }
    return typed;
}

template <typename T>
std::shared_ptr<T> fetchByUid(ManagedObjectContext& context, const std::string& uid) {
    auto found =
        context.fetch<T>(Predicate::fromTrustedFormat("uid == %@", {Value(std::string(uid))}));
    if (!found || found->empty()) {
        return nullptr;
    }
    return found->front();
}

void setIfDifferent(std::optional<std::string> current, std::optional<std::string> wanted,
                    const std::function<void(std::optional<std::string>)>& set) {
    if (current != wanted) {
        set(std::move(wanted));
    }
}

std::string aisleOf(const JsonObject& item) {
    auto aisle = textOf(item, "aisle");
    return aisle && !aisle->empty() ? *aisle : std::string("Miscellaneous");
}

void applyCategory(RecipeCategory& category, const JsonObject& server) {
    setIfDifferent(category.name(), textOf(server, "name"),
                   [&](auto value) { category.setName(std::move(value)); });
    auto order = integerOf(server, "order_flag").value_or(0);
    if (category.orderFlag() != order) {
        category.setOrderFlag(order);
    }
}

void applyGroceryItem(GroceryListItem& item, const JsonObject& server) {
    setIfDifferent(item.name(), textOf(server, "name"),
                   [&](auto value) { item.setName(std::move(value)); });
    auto order = integerOf(server, "order_flag").value_or(0);
    if (item.orderFlag() != order) {
        item.setOrderFlag(order);
    }
    auto purchased = booleanOf(server, "purchased").value_or(false);
    if (item.purchased().value_or(false) != purchased) {
        item.setPurchased(purchased);
    }
    setIfDifferent(item.recipeName(), textOf(server, "recipe"),
                   [&](auto value) { item.setRecipeName(std::move(value)); });
    setIfDifferent(item.ingredient(), textOf(server, "ingredient"),
                   [&](auto value) { item.setIngredient(std::move(value)); });
    setIfDifferent(item.storedAisle(), aisleOf(server),
                   [&](auto value) { item.setAisle(std::move(value)); });
}

void applyBookmark(Bookmark& bookmark, const JsonObject& server) {
    setIfDifferent(bookmark.title(), textOf(server, "title"),
                   [&](auto value) { bookmark.setTitle(std::move(value)); });
    setIfDifferent(bookmark.url(), textOf(server, "url"),
                   [&](auto value) { bookmark.setUrl(std::move(value)); });
    auto order = integerOf(server, "order_flag").value_or(0);
    if (bookmark.orderFlag() != order) {
        bookmark.setOrderFlag(order);
    }
}

void applyMeal(ManagedObjectContext& context, Meal& meal, const JsonObject& server) {
    auto type = integerOf(server, "type").value_or(0);
    if (meal.type() != type) {
        meal.setType(type);
    }
    auto order = integerOf(server, "order_flag");
    if (order) {
        if (meal.orderFlag() != *order) {
            meal.setOrderFlag(*order);
        }
    }
    auto dateText = textOf(server, "date");
    auto date = dateText ? parseDateText(*dateText) : std::nullopt;
    if (meal.date() != date) {
        meal.setDate(date);
    }
    if (auto recipeUid = textOf(server, "recipe_uid")) {
        if (meal.name()) {
            meal.setName(std::nullopt);
        }
        auto current = meal.recipe();
        if (!current || current->uid() != *recipeUid) {
            meal.setRecipe(fetchByUid<Recipe>(context, *recipeUid));
        }
    } else {
        if (meal.recipe()) {
            meal.setRecipe(nullptr);
        }
        setIfDifferent(meal.name(), textOf(server, "name"),
                       [&](auto value) { meal.setName(std::move(value)); });
    }
}

// A file name the server gave for a photo, kept inside the library folder whatever it says.
std::optional<std::string> safePhotoName(const std::string& photo) {
    std::string name = std::filesystem::path(photo).filename().string();
    if (name.empty() || name == "." || name == ".." || name.starts_with('.')) {
        return std::nullopt;
    }
    return name;
}

}  // namespace

struct MiravelSyncService::ListEntity {
    std::string label;
    std::string entityName;
    std::vector<SortDescriptor> sort;
    std::function<Result<JsonValue>()> get;
    std::function<Result<JsonValue>(const JsonArray&)> update;
    std::string abortMessage;
    std::string fetchMessage;
    std::string uploadMessage;
    // Applies the server's values to an unmodified object.
    std::function<void(ManagedObjectContext&, SyncedObject&, const JsonObject&)> apply;
    // Makes the object for a server dictionary, or takes the local one that stands for it
    // (bookmarks); null to skip it.
    std::function<std::shared_ptr<SyncedObject>(ManagedObjectContext&, const JsonObject&)> create;
    // Called before the sync removes an object from the store.
    std::function<void(SyncedObject&)> removing = {};
};

MiravelSyncService::MiravelSyncService(Library& library, MiravelService& service)
    : m_library(library), m_service(service) {}

MiravelSyncService::~MiravelSyncService() = default;

std::string MiravelSyncService::accountBinding(const std::string& email,
                                               const std::string& baseUrl) {
    return email + " " + baseUrl;
}

void MiravelSyncService::record(const Error& error) {
    // A run stopped from outside (signing out clears the credentials it sends) ends as a
    // good one; what failed because of the stop is no error of the sync.
    if (!m_syncError && !cancelSync) {
        m_syncError = error;
    }
}

void MiravelSyncService::freshContext() {
    // A new context per entity keeps memory bounded and makes each step fetch afresh.
    m_context.reset();
    m_context = m_library.newBackgroundContext();
}

void MiravelSyncService::saveContext() {
    if (!m_context || !m_context->hasChanges()) {
        return;
    }
    auto saved = m_context->save();
    if (!saved) {
        logLine("Failed to save to data store: {}", saved.error().description);
        logLine("  {}", saved.error().failureReason);
    }
}

void MiravelSyncService::runSync(bool showAlert) {
    cancelSync = false;
    m_syncError.reset();
    MainQueue& queue = m_library.mainQueue();
    NotificationCenter& center = m_library.notificationCenter();
    queue.post([&center, this] { center.post(kSyncStartedNotification, this); });

    freshContext();
    if (!m_context) {
        record(Error{applicationErrorDomain(), 0, "The library is not open.", {}});
    } else {
        rebindAccount(accountBinding(m_service.syncEmail().value_or(""), m_service.baseUrl()));
    }

    const ListEntity bookmarks{
        "bookmarks",
        Bookmark::kEntityName,
        {SortDescriptor("orderFlag")},
        [this] { return m_service.getBookmarks(); },
        [this](const JsonArray& items) { return m_service.updateBookmarks(items); },
        "Sync service error, aborting bookmarks sync. Call: getBookmarks. Error: {}",
        "Bookmarks fetch error: {}",
        "Sync service error. Call: updateBookmarks, Error: {}",
        [](ManagedObjectContext&, SyncedObject& object, const JsonObject& server) {
            applyBookmark(static_cast<Bookmark&>(object), server);
        },
        [](ManagedObjectContext& context,
           const JsonObject& server) -> std::shared_ptr<SyncedObject> {
            auto title = textOf(server, "title");
            auto url = textOf(server, "url");
            auto same = context.fetch<Bookmark>(
                livePredicateAnd("title == %@ && url == %@",
                                 {title ? Value(*title) : Value(), url ? Value(*url) : Value()}));
            if (!same) {
                logLine("Bookmark existence could not be checked. Error: {}",
                        same.error().description);
                return nullptr;
            }
            if (!same->empty()) {
                auto bookmark = same->front();
                bookmark->setUid(*textOf(server, "uid"));
                bookmark->setOrderFlag(integerOf(server, "order_flag").value_or(0));
                return bookmark;
            }
            auto bookmark = context.insert<Bookmark>();
            bookmark->setTitle(title);
            bookmark->setUrl(url);
            bookmark->setOrderFlag(integerOf(server, "order_flag").value_or(0));
            bookmark->setUid(*textOf(server, "uid"));
            bookmark->setStatus(kStatusUnmodified);
            return bookmark;
        }};
    const ListEntity groceries{
        "grocery list items",
        GroceryListItem::kEntityName,
        {SortDescriptor("orderFlag")},
        [this] { return m_service.getGroceries(); },
        [this](const JsonArray& items) { return m_service.updateGroceries(items); },
        "Sync service error, aborting groceries sync. Call: getGroceries. Error: {}",
        "Grocery list item fetch error: {}",
        "Sync service error. Call: updateGroceryListItems, Error: {}",
        [](ManagedObjectContext&, SyncedObject& object, const JsonObject& server) {
            applyGroceryItem(static_cast<GroceryListItem&>(object), server);
        },
        [](ManagedObjectContext& context,
           const JsonObject& server) -> std::shared_ptr<SyncedObject> {
            auto item = context.insert<GroceryListItem>();
            item->setUid(*textOf(server, "uid"));
            // The aisle is set before anything could ask for it, so it is never guessed
            // (a guess would mark the new item modified).
            item->setAisle(aisleOf(server));
            item->setName(textOf(server, "name"));
            item->setOrderFlag(integerOf(server, "order_flag").value_or(0));
            item->setPurchased(booleanOf(server, "purchased").value_or(false));
            item->setRecipeName(textOf(server, "recipe"));
            item->setIngredient(textOf(server, "ingredient"));
            item->setStatus(kStatusUnmodified);
            return item;
        }};
    const ListEntity categories{
        "categories",
        RecipeCategory::kEntityName,
        {SortDescriptor("orderFlag")},
        [this] { return m_service.getCategories(); },
        [this](const JsonArray& items) { return m_service.updateCategories(items); },
        "Sync service error, aborting category sync. Call: getCategories. Error: {}",
        "Recipe categories fetch error: {}",
        "Sync service error. Call: updateCategories, Error: {}",
        [](ManagedObjectContext&, SyncedObject& object, const JsonObject& server) {
            applyCategory(static_cast<RecipeCategory&>(object), server);
        },
        [](ManagedObjectContext& context,
           const JsonObject& server) -> std::shared_ptr<SyncedObject> {
            auto category = context.insert<RecipeCategory>();
            category->setName(textOf(server, "name"));
            category->setOrderFlag(integerOf(server, "order_flag").value_or(0));
            category->setUid(*textOf(server, "uid"));
            category->setStatus(kStatusUnmodified);
            return category;
        },
        [](SyncedObject& object) {
            // A category this device deleted: taking it out of its recipes is this user's
            // edit of them, so they go up again with their new lists and hashes (a device
            // that kept or re-created the category then follows). A category deleted
            // elsewhere only leaves the recipes here: the device that deleted it sends them,
            // and marking them here would send this device's older copies over newer ones.
            const bool ownDeletion = object.status() == kStatusDeleted;
            auto category = std::static_pointer_cast<RecipeCategory>(object.shared_from_this());
            for (auto& recipe : category->recipes()) {
                if (!recipe->isReallyDeleted()) {
                    recipe->removeCategory(category);
                    if (ownDeletion) {
                        recipe->setModified();
                    }
                }
            }
        }};
    const ListEntity meals{
        "meals",
        Meal::kEntityName,
        {SortDescriptor("date"), SortDescriptor("type")},
        [this] { return m_service.getMeals(); },
        [this](const JsonArray& items) { return m_service.updateMeals(items); },
        "Sync service error, aborting meals sync. Call: getMeals. Error: {}",
        "Meal fetch error: {}",
        "Sync service error. Call: updateMeals, Error: {}",
        [](ManagedObjectContext& context, SyncedObject& object, const JsonObject& server) {
            applyMeal(context, static_cast<Meal&>(object), server);
        },
        [](ManagedObjectContext& context,
           const JsonObject& server) -> std::shared_ptr<SyncedObject> {
            auto meal = context.insert<Meal>();
            meal->setType(integerOf(server, "type").value_or(0));
            meal->setUid(*textOf(server, "uid"));
            auto dateText = textOf(server, "date");
            meal->setDate(dateText ? parseDateText(*dateText) : std::nullopt);
            if (auto recipeUid = textOf(server, "recipe_uid")) {
                meal->setRecipe(fetchByUid<Recipe>(context, *recipeUid));
            }
            meal->setStatus(kStatusUnmodified);
            if (auto order = integerOf(server, "order_flag")) {
                meal->setOrderFlag(*order);
            }
            meal->setName(textOf(server, "name"));
            return meal;
        }};

    auto step = [&](std::string_view label, const std::function<void()>& work) {
        if (!shouldContinue()) {
            return;
        }
        if (m_progress) {
            m_progress(label);
        }
        freshContext();
        work();
    };
    step(bookmarks.label, [&] { syncList(bookmarks); });
    step(groceries.label, [&] { syncList(groceries); });
    step(categories.label, [&] { syncList(categories); });
    step("recipes", [&] { syncRecipes(); });
    step(meals.label, [&] { syncList(meals); });
    m_context.reset();

    std::optional<Error> error = m_syncError;
    m_lastError = error;
    UserSettings& settings = m_library.settings();
    // Written here rather than on the main queue, so that they are in place when runSync
    // returns; the settings are safe from any thread.
    std::string now = formatDateText(currentMoment());
    if (error) {
        settings.setString(kSyncErrorKey, error->description);
        settings.setString(kLastSyncAttemptKey, now);
    } else {
        settings.setString(kLastSyncedDateKey, now);
        settings.remove(kSyncErrorKey);
        settings.remove(kLastSyncAttemptKey);
    }
    queue.post([&center, this] { center.post(kSyncFinishedNotification, this); });
    if (error && showAlert && m_presenter) {
        queue.post([presenter = m_presenter, description = error->description] {
            presenter(description);
        });
    }
    m_syncError.reset();
    isRunning = false;
    // Wakes a main loop that waits for the run to end (MainQueue::runUntil looks after tasks).
    queue.post([] {});
}

void MiravelSyncService::rebindAccount(const std::string& binding) {
    UserSettings& settings = m_library.settings();
    auto previous = settings.string(kSyncedAccountKey);
    if (previous == binding) {
        return;
    }
    // The statuses describe another account or server (or one this library never recorded):
    // "unmodified" would read as "the server has it", and the lists of the new account would
    // then delete everything it lacks. Everything live goes up instead; tombstones stay only
    // when they may still be meant for this account.
    for (const char* entity :
         {Bookmark::kEntityName, GroceryListItem::kEntityName, RecipeCategory::kEntityName,
          Recipe::kEntityName, Meal::kEntityName}) {
        auto objects = fetchAll(*m_context, entity);
        if (!objects) {
            logLine("Account change, fetch error: {}", objects.error().description);
            record(objects.error());
            return;
        }
        for (auto& object : *objects) {
            if (object->status() == kStatusDeleted) {
                if (previous) {
                    m_context->deleteObject(object);
                }
            } else if (object->status() != kStatusModified) {
                object->setStatus(kStatusModified);
            }
        }
    }
    if (m_context->hasChanges()) {
        auto saved = m_context->save();
        if (!saved) {
            logLine("Failed to save to data store: {}", saved.error().description);
            record(saved.error());
            return;
        }
    }
    settings.setString(kSyncedAccountKey, binding);
}

void MiravelSyncService::syncList(const ListEntity& entity) {
    ManagedObjectContext& context = *m_context;
    auto listed = entity.get();
    if (!listed) {
        logLine(fmt::runtime(entity.abortMessage), listed.error().description);
        record(listed.error());
        return;
    }
    auto local = fetchAll(context, entity.entityName, entity.sort);
    if (!local) {
        logLine(fmt::runtime(entity.fetchMessage), local.error().description);
        record(local.error());
        return;
    }
    std::unordered_map<std::string, std::shared_ptr<SyncedObject>> byUid;
    for (auto& object : *local) {
        byUid.emplace(object->uid(), object);
    }
    ObjectList uploads;
    std::unordered_set<std::string> serverUids;
    for (const JsonObject* server : serverObjects(*listed)) {
        std::string uid = *textOf(*server, "uid");
        if (!serverUids.insert(uid).second) {
            continue;
        }
        auto found = byUid.find(uid);
        if (found != byUid.end()) {
            auto& object = found->second;
            std::string status = object->status();
            if (status == kStatusUnmodified) {
                entity.apply(context, *object, *server);
                saveContext();
            } else {
                uploads.push_back(object);
            }
            continue;
        }
        auto made = entity.create(context, *server);
        if (made) {
            byUid.emplace(uid, made);
            saveContext();
        }
    }
    for (auto& object : *local) {
        if (serverUids.contains(object->uid())) {
            continue;
        }
        if (object->status() == kStatusModified) {
            uploads.push_back(object);
        } else {
            if (entity.removing) {
                entity.removing(*object);
            }
            context.deleteObject(object);
            saveContext();
        }
    }
    if (!uploads.empty()) {
        JsonArray items;
        items.reserve(uploads.size());
        for (auto& object : uploads) {
            if (auto dictionary = object->objectDictionary()) {
                items.emplace_back(std::move(*dictionary));
            }
        }
        auto sent = entity.update(items);
        if (!sent) {
            logLine(fmt::runtime(entity.uploadMessage), sent.error().description);
            record(sent.error());
            return;
        }
        for (auto& object : uploads) {
            if (object->status() == kStatusDeleted) {
                if (entity.removing) {
                    entity.removing(*object);
                }
                context.deleteObject(object);
            } else {
                object->setStatus(kStatusUnmodified);
            }
        }
    }
    saveContext();
}

void MiravelSyncService::syncRecipes() {
    auto listed = m_service.getRecipes();
    if (!listed) {
        logLine("Sync service error, aborting recipes sync. Call: getRecipes. Error: {}",
                listed.error().description);
        record(listed.error());
        return;
    }
    ManagedObjectContext& context = *m_context;
    std::unordered_map<std::string, std::shared_ptr<Recipe>> byUid;
    {
        // Only what the comparison reads: a recipe that is sent or replaced reads the rest
        // when it is first used, so a sync with nothing to do never loads the long texts.
        auto local = fetchAll(context, Recipe::kEntityName, {},
                              {"uid", "status", "hashValue", "photoHash", "photo", "name"});
        if (!local) {
            logLine("Recipe fetch error: {}", local.error().description);
        } else {
            byUid.reserve(local->size());
            for (auto& object : *local) {
                auto recipe = std::static_pointer_cast<Recipe>(object);
                byUid.emplace(recipe->uid(), std::move(recipe));
            }
        }
    }
    std::optional<std::unordered_map<std::string, std::shared_ptr<RecipeCategory>>> categories;

    auto assignValues = [&](Recipe& recipe, const JsonObject& server) {
        recipe.setUid(*textOf(server, "uid"));
        recipe.setHashValue(textOf(server, "hash"));
        auto created = textOf(server, "created");
        recipe.setCreated(created ? parseDateText(*created) : std::nullopt);
        recipe.setName(textOf(server, "name"));
        recipe.setCookTime(textOf(server, "cook_time"));
        recipe.setPrepTime(textOf(server, "prep_time"));
        recipe.setDifficulty(textOf(server, "difficulty"));
        recipe.setRating(integerOf(server, "rating"));
        recipe.setIngredients(textOf(server, "ingredients"));
        recipe.setDirections(textOf(server, "directions"));
        recipe.setNotes(textOf(server, "notes"));
        recipe.setSource(textOf(server, "source"));
        recipe.setServings(textOf(server, "servings"));
        recipe.setOnFavorites(booleanOf(server, "on_favorites"));
        recipe.setSourceUrl(textOf(server, "source_url"));
        recipe.setImageUrl(textOf(server, "image_url"));
        recipe.setNutritionalInfo(textOf(server, "nutritional_info"));
        recipe.setStatus(kStatusUnmodified);

        auto photo = textOf(server, "photo");
        auto photoUrl = textOf(server, "photo_url");
        if (!photo || !photoUrl) {
            if (recipe.photo() || recipe.photoHash()) {
                recipe.setPhoto(std::nullopt);
                recipe.setPhotoHash(std::nullopt);
            }
        } else if (recipe.photoHash() != textOf(server, "photo_hash")) {
            auto name = safePhotoName(*photo);
            auto folder = recipe.libraryFolder();
            if (!name || !folder) {
                logLine("Image download error: unusable photo name {}", *photo);
            } else if (m_service.downloadPhoto(*photoUrl, *folder / *name)) {
                recipe.setPhoto(*name);
                recipe.setPhotoHash(textOf(server, "photo_hash"));
            }
        }

        const JsonValue* wanted = memberOf(server, "categories");
        if (!wanted || !wanted->isArray() || wanted->asArray().empty()) {
            for (auto& category : recipe.categories()) {
                recipe.removeCategory(category);
            }
            return;
        }
        if (!categories) {
            auto fetched = context.fetch<RecipeCategory>();
            if (!fetched) {
                logLine("Category fetch error: {}", fetched.error().description);
                record(fetched.error());
                return;
            }
            categories.emplace();
            for (auto& category : *fetched) {
                categories->emplace(category->uid(), category);
            }
        }
        // Exactly the named categories this library has, even none: a category the list no
        // longer holds was deleted, and every device drops it alike. Keeping the old links
        // when none matched would leave two devices with one hash and different categories.
        std::map<std::string, std::shared_ptr<RecipeCategory>> matched;
        for (const JsonValue& uid : wanted->asArray()) {
            if (uid.isString()) {
                if (auto found = categories->find(uid.asString()); found != categories->end()) {
                    matched.emplace(found->first, found->second);
                }
            }
        }
        for (auto& category : recipe.categories()) {
            if (!matched.contains(category->uid())) {
                recipe.removeCategory(category);
            }
        }
        auto current = recipe.categories();
        for (auto& [uid, category] : matched) {
            bool present = std::any_of(current.begin(), current.end(),
                                       [&](const auto& held) { return held->uid() == uid; });
            if (!present) {
                recipe.addCategory(category);
            }
        }
    };

    auto downloadRecipe = [&](const std::string& uid) -> std::optional<JsonObject> {
        auto full = m_service.getRecipe(uid);
        if (!full) {
            logLine("Sync service error. Call: getRecipe, Error: {}", full.error().description);
            record(full.error());
            return std::nullopt;
        }
        if (!full->isObject()) {
            return JsonObject{};
        }
        return full->asObject();
    };

    std::unordered_set<std::string> serverUids;
    for (const JsonObject* stub : serverObjects(*listed)) {
        if (cancelSync) {
            break;
        }
        std::string uid = *textOf(*stub, "uid");
        serverUids.insert(uid);
        auto found = byUid.find(uid);
        std::shared_ptr<Recipe> recipe = found == byUid.end() ? nullptr : found->second;
        if (recipe && recipe->status() == kStatusDeleted) {
            auto sent =
                m_service.updateRecipe(uid, recipe->objectDictionaryWithHash(), std::nullopt);
            if (!sent) {
                logLine("Sync service error. Call: updateRecipe, Error: {}",
                        sent.error().description);
                record(sent.error());
                return;
            }
            context.deleteObject(recipe);
        } else if (recipe && recipe->hashValue() == textOf(*stub, "hash")) {
            if (recipe->status() != kStatusUnmodified) {
                recipe->setStatus(kStatusUnmodified);
            }
        } else if (recipe && recipe->status() != kStatusUnmodified) {
            std::optional<std::filesystem::path> photo;
            if (recipe->photoHash() != textOf(*stub, "photo_hash")) {
                photo = recipe->photoPath();
            }
            auto sent = m_service.updateRecipe(uid, recipe->objectDictionaryWithHash(), photo);
            if (!sent) {
                logLine("Sync service error. Call: updateRecipe, Error: {}",
                        sent.error().description);
                record(sent.error());
                return;
            }
            recipe->setStatus(kStatusUnmodified);
        } else {
            auto full = downloadRecipe(uid);
            if (!full) {
                return;
            }
            if (!recipe) {
                recipe = context.insert<Recipe>();
                byUid.emplace(uid, recipe);
            }
            assignValues(*recipe, *full);
        }
        saveContext();
    }
    saveContext();

    std::vector<std::shared_ptr<Recipe>> missing;
    for (auto& [uid, recipe] : byUid) {
        if (!serverUids.contains(uid) && recipe->managedObjectContext() && !cancelSync) {
            missing.push_back(recipe);
        }
    }
    std::sort(missing.begin(), missing.end(), [](const auto& a, const auto& b) {
        return a->name().value_or("") < b->name().value_or("");
    });
    for (auto& recipe : missing) {
        if (cancelSync) {
            break;
        }
        std::string status = recipe->status();
        if (status == kStatusUnmodified || status == kStatusDeleted) {
            if (status == kStatusUnmodified) {
                recipe->setStatusAndUpdateRelationships(kStatusDeleted);
            }
            if (recipe->photo()) {
                recipe->setPhoto(std::nullopt);
            }
            context.deleteObject(recipe);
            saveContext();
            continue;
        }
        auto sent = m_service.updateRecipe(recipe->uid(), recipe->objectDictionaryWithHash(),
                                           recipe->photoPath());
        if (!sent) {
            logLine("Sync service error, aborting recipe sync. Call: updateRecipe. Error: {}",
                    sent.error().description);
            record(sent.error());
            return;
        }
        recipe->setStatus(kStatusUnmodified);
        saveContext();
    }
    saveContext();
}

}  // namespace miravel
