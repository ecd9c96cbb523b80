#include "library/RecipeTrash.h"

#include <fmt/format.h>

#include <algorithm>
#include <system_error>

#include "lib/AtomicFile.h"
#include "lib/Crypto.h"
#include "lib/DateText.h"
#include "lib/JsonParser.h"
#include "lib/JsonWriter.h"
#include "lib/Log.h"
#include "lib/StringTable.h"
#include "model/Meal.h"
#include "model/RecipeCategory.h"
#include "model/RecipeFile.h"
#include "store/ManagedObjectContext.h"
#include "store/PersistentStoreCoordinator.h"

namespace miravel {

namespace {

constexpr const char* kEntryExtension = ".json";
constexpr const char* kPhotoDataKey = "photo_data";

Error trashError(const std::string& description) {
    return Error{kTrashErrorDomain, 1, description, {}};
}

// Our own writer wrote the entry, raw control characters and all (see JsonParser).
Result<JsonObject> readEntry(const std::filesystem::path& file) {
    auto bytes = readFile(file);
    if (!bytes) {
        return std::unexpected(bytes.error());
    }
    JsonParser::Options options;
    options.allowRawControlCharacters = true;
    auto parsed = JsonParser::parse(*bytes, options);
    if (!parsed) {
        return std::unexpected(parsed.error());
    }
    if (!parsed->isObject() || !dictionaryText(parsed->asObject(), "uid")) {
        return std::unexpected(trashError(file.filename().string() + " is no trashed recipe."));
    }
    return parsed->asObject();
}

// The recipe's attributes from its dictionary form; the uid, categories and photo are the
// caller's, since each needs the store or the files folder.
void applyDictionary(Recipe& recipe, const JsonObject& data) {
    setDictionaryTexts(recipe, data);
    recipe.setImageUrl(dictionaryText(data, "image_url"));
    if (const JsonValue* rating = data.find("rating"); rating && rating->isInteger()) {
        recipe.setRating(rating->asInteger());
    }
    if (const JsonValue* favorite = data.find("on_favorites"); favorite && favorite->isBoolean()) {
        recipe.setOnFavorites(favorite->asBoolean());
    }
    if (auto created = dictionaryText(data, "created")) {
        recipe.setCreated(parseDateText(*created));
    }
}

}  // namespace

RecipeTrash::RecipeTrash(ManagedObjectContext& context) : m_context(context) {
    const auto& store = context.coordinator()->file();
    if (!store.empty() && store.has_parent_path()) {
        m_folder = store.parent_path() / kTrashFolderName;
    }
}

Result<void> RecipeTrash::write(const Recipe& recipe) {
    JsonObject data = *recipe.objectDictionary();
    if (auto photo = recipe.photoPath()) {
        auto bytes = readFile(*photo);
        if (!bytes) {
            return std::unexpected(bytes.error());
        }
        data.set(kPhotoDataKey, base64Encode(*bytes));
    }
    // A new name for every entry: a uid may come from anywhere and is no safe file name.
    return writeFileAtomically(*m_folder / (newUid() + kEntryExtension),
                               JsonWriter::write(JsonValue(std::move(data))), 0600);
}

Result<void> RecipeTrash::deleteRecipes(const std::vector<std::shared_ptr<Recipe>>& recipes) {
    if (m_folder) {
        (void)readEntries(true);
        if (auto made = createFolder(*m_folder, 0700); !made) {
            return std::unexpected(
                trashError("cannot make the trash: " + made.error().description));
        }
        for (const auto& recipe : recipes) {
            if (recipe && !recipe->isReallyDeleted()) {
                if (auto written = write(*recipe); !written) {
                    return std::unexpected(
                        trashError("cannot keep \"" + recipe->name().value_or("") +
                                   "\" in the trash: " + written.error().description));
                }
            }
        }
    }
    return Recipe::deleteRecipes(m_context, recipes);
}

Result<std::vector<TrashedRecipe>> RecipeTrash::readEntries(bool purgeExpired) {
    std::vector<TrashedRecipe> found;
    std::error_code error;
    if (!m_folder || !std::filesystem::is_directory(*m_folder, error)) {
        return found;
    }
    const Timestamp now = currentMoment();
    std::filesystem::directory_iterator files(*m_folder, error);
    if (error) {
        return std::unexpected(trashError("cannot read the trash: " + error.message()));
    }
    for (const auto& file : files) {
        if (file.path().extension() != kEntryExtension || !file.is_regular_file(error)) {
            continue;
        }
        const auto modified = file.last_write_time(error);
        if (error) {
            continue;
        }
        const Timestamp trashed = std::chrono::time_point_cast<Timestamp::duration>(
            std::chrono::file_clock::to_sys(modified));
        if (purgeExpired && now - trashed > kKeepFor) {
            if (!std::filesystem::remove(file.path(), error) && error) {
                logLine("Could not purge {} from the trash: {}", file.path().string(),
                        error.message());
            }
            continue;
        }
        auto data = readEntry(file.path());
        if (!data) {
            continue;
        }
        found.push_back({file.path(), *dictionaryText(*data, "uid"),
                         dictionaryText(*data, "name").value_or(""), trashed});
    }
    std::ranges::sort(found, [](const TrashedRecipe& a, const TrashedRecipe& b) {
        return a.trashed != b.trashed ? a.trashed > b.trashed : a.name < b.name;
    });
    return found;
}

Result<std::vector<TrashedRecipe>> RecipeTrash::entries() {
    return readEntries(true);
}

Result<std::vector<TrashedRecipe>> RecipeTrash::find(const std::string& nameOrUid) {
    auto all = entries();
    if (!all) {
        return all;
    }
    std::vector<TrashedRecipe> matches;
    for (const bool byUid : {true, false}) {
        for (const auto& entry : *all) {
            if ((byUid ? entry.uid : entry.name) == nameOrUid) {
                matches.push_back(entry);
            }
        }
        if (!matches.empty()) {
            break;
        }
    }
    return matches;
}

bool RecipeTrash::uidIsFree(const std::string& uid) {
    if (uid.empty()) {
        return false;
    }
    auto holders = m_context.fetch<Recipe>(Predicate::fromTrustedFormat("uid == %@", {Value(uid)}));
    return holders && holders->empty();
}

Result<std::shared_ptr<Recipe>> RecipeTrash::restore(const TrashedRecipe& entry) {
    if (!m_folder) {
        return std::unexpected(trashError("this library keeps no trash."));
    }
    (void)readEntries(true);
    // Failures before the save leave the store untouched, so they are the trash's own.
    auto data = readEntry(entry.file);
    if (!data) {
        return std::unexpected(trashError(data.error().description));
    }
    std::optional<std::filesystem::path> photoFile;
    if (auto encoded = dictionaryText(*data, kPhotoDataKey)) {
        auto bytes = base64Decode(*encoded);
        if (!bytes) {
            return std::unexpected(trashError("the photo of \"" + entry.name + "\" is damaged."));
        }
        photoFile = m_folder->parent_path() / (newUid() + ".jpg");
        if (auto written = writeFileAtomically(*photoFile, *bytes); !written) {
            return std::unexpected(trashError(written.error().description));
        }
    }
    auto recipe = m_context.insert<Recipe>();
    if (uidIsFree(entry.uid)) {
        recipe->setUid(entry.uid);
    }
    applyDictionary(*recipe, *data);
    if (const JsonValue* uids = data->find("categories"); uids && uids->isArray()) {
        for (const JsonValue& uid : uids->asArray()) {
            if (!uid.isString()) {
                continue;
            }
            auto categories = m_context.fetch<RecipeCategory>(
                livePredicateAnd("uid == %@", {Value(uid.asString())}));
            if (categories && !categories->empty()) {
                recipe->addCategory(categories->front());
            }
        }
    }
    if (photoFile) {
        recipe->setPhoto(photoFile->filename().string());
    }
    recipe->setModified();
    std::error_code error;
    if (auto saved = m_context.save(); !saved) {
        if (photoFile) {
            std::filesystem::remove(*photoFile, error);
        }
        return std::unexpected(saved.error());
    }
    if (!std::filesystem::remove(entry.file, error) && error) {
        logLine("Could not remove {} from the trash: {}", entry.file.string(), error.message());
    }
    return recipe;
}

Result<std::size_t> RecipeTrash::empty() {
    auto all = readEntries(false);
    if (!all) {
        return std::unexpected(all.error());
    }
    for (const auto& entry : *all) {
        std::error_code error;
        if (!std::filesystem::remove(entry.file, error) && error) {
            return std::unexpected(trashError("cannot empty the trash: " + error.message()));
        }
    }
    return all->size();
}

std::size_t plannedMealCount(const std::vector<std::shared_ptr<Recipe>>& recipes) {
    std::size_t count = 0;
    for (const auto& recipe : recipes) {
        for (const auto& meal : recipe->meals()) {
            count += meal->isReallyDeleted() ? 0 : 1;
        }
    }
    return count;
}

std::string recipeDeletionQuestion(const std::vector<std::shared_ptr<Recipe>>& recipes) {
    std::string question =
        tr(recipes.size() == 1 ? "Are you sure you want to delete this recipe?"
                               : "Are you sure you want to delete these recipes?");
    if (const std::size_t meals = plannedMealCount(recipes); meals > 0) {
        question +=
            " " + fmt::format(fmt::runtime(tr(meals == 1 ? "It also removes {} planned meal."
                                                         : "It also removes {} planned meals.")),
                              meals);
    }
    return question;
}

}  // namespace miravel
