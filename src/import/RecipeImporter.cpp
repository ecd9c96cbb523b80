#include "import/RecipeImporter.h"

#include <algorithm>

#include "lib/ApplicationIdentifier.h"
#include "lib/AtomicFile.h"
#include "lib/DateText.h"
#include "lib/Log.h"
#include "lib/TextPieces.h"
#include "library/CategoriesController.h"
#include "model/Library.h"
#include "model/PhotoStore.h"
#include "model/Recipe.h"
#include "model/RecipeCategory.h"
#include "model/SyncedObject.h"
#include "store/BackgroundContext.h"
#include "store/Predicate.h"

namespace miravel {

namespace {

// Lists on the screen take in an import's recipes at least this often.
constexpr auto kSaveInterval = std::chrono::milliseconds(100);

}  // namespace

RecipeImporter::RecipeImporter(Library& library)
    : m_library(library),
      m_context(library.newBackgroundContext()),
      m_lastSave(std::chrono::steady_clock::now()) {}

RecipeImporter::~RecipeImporter() = default;

ImportOutcome RecipeImporter::parseFile(const std::filesystem::path&) {
    return outcome();
}

ManagedObjectContext& RecipeImporter::managedObjectContext() {
    return *m_context;
}

Error importError(std::string message, std::string reason) {
    return Error{applicationErrorDomain(), 100, std::move(message), std::move(reason)};
}

std::optional<std::string> RecipeImporter::savePhoto(std::string_view imageBytes) {
    auto name = writePhotoFile(imageBytes);
    if (name) {
        photoWritten();
    }
    return name;
}

const std::filesystem::path& RecipeImporter::photoFolder() const {
    return m_library.filesFolder();
}

std::optional<std::string> RecipeImporter::writePhotoFile(std::string_view imageBytes) const {
    // One flush per batch, in saveNow, instead of two waits for the disk per photo.
    auto name = miravel::savePhoto(m_library.filesFolder(), imageBytes, Flush::Later);
    if (!name) {
        return std::nullopt;
    }
    return *name;
}

std::shared_ptr<RecipeCategory> RecipeImporter::getCategory(std::string_view name) {
    auto categories = m_context->fetch<RecipeCategory>(
        Predicate::fromTrustedFormat("name == %@", {Value(std::string(name))}));
    if (!categories) {
        logLine("Fetch error: {}", categories.error().description);
        return nullptr;
    }
    return categories->empty() ? nullptr : categories->front();
}

std::int64_t RecipeImporter::lastCategoryOrderFlag() {
    return CategoriesController::lastOrderFlag(*m_context);
}

void RecipeImporter::addCategoriesToRecipe(std::string_view commaSeparated, Recipe& recipe) {
    while (true) {
        const auto comma = commaSeparated.find(',');
        addCategoryToRecipe(commaSeparated.substr(0, comma), recipe);
        if (comma == std::string_view::npos) {
            return;
        }
        commaSeparated.remove_prefix(comma + 1);
    }
}

void RecipeImporter::addCategoryToRecipe(std::string_view name, Recipe& recipe) {
    const std::string_view categoryName = trimCharacters(name, kNameSpace);
    if (categoryName.empty()) {
        return;
    }
    auto& linked = m_linkedCategories[std::string(categoryName)];
    if (linked) {
        recipe.addCategory(linked);
        return;
    }
    auto category = getCategory(categoryName);
    if (!category) {
        category = m_context->insert<RecipeCategory>();
        category->setName(std::string(categoryName));
        category->setStatus(kStatusModified);
        category->setOrderFlag(lastCategoryOrderFlag() + 1);
    }
    linked = category;
    recipe.addCategory(category);
}

std::shared_ptr<Recipe> RecipeImporter::insertRecipe() {
    auto recipe = m_context->insert<Recipe>();
    recipe->setCreated(currentMoment());
    return recipe;
}

Result<void> RecipeImporter::recipeFinished(Recipe& recipe, std::string note, std::size_t line) {
    recipe.setModified();
    m_records.push_back({recipe.name().value_or(""), true, std::move(note), line});
    ++m_finished;
    if (std::chrono::steady_clock::now() - m_lastSave >= kSaveInterval) {
        return saveNow();
    }
    return {};
}

void RecipeImporter::recipeSkipped(std::string name, std::string reason, std::size_t line) {
    m_records.push_back({std::move(name), false, std::move(reason), line});
}

void RecipeImporter::passedOver(std::size_t line, std::string text, std::string reason) {
    constexpr std::size_t kMostReported = 1000;
    ++m_passedOver;
    if (m_passedOver <= kMostReported) {
        m_records.push_back(
            {std::move(text), false, std::move(reason), line, ImportRecord::Kind::PassedOver});
    } else if (m_passedOver == kMostReported + 1) {
        m_records.push_back({"", false, "more lines passed over are not listed", line,
                             ImportRecord::Kind::PassedOver});
    }
}

void RecipeImporter::fileNote(std::string note) {
    m_records.push_back({"", false, std::move(note), 0, ImportRecord::Kind::FileNote});
}

std::size_t recipesFound(const std::vector<ImportRecord>& records) {
    return static_cast<std::size_t>(std::count_if(
        records.begin(), records.end(),
        [](const ImportRecord& record) { return record.kind == ImportRecord::Kind::Recipe; }));
}

Result<void> RecipeImporter::saveNow() {
    // The photos reach the disk before the recipes that name them.
    if (m_photosUnflushed) {
        if (auto flushed = flushFileSystemOf(m_library.filesFolder()); !flushed) {
            return flushed;
        }
        m_photosUnflushed = false;
    }
    if (m_context->hasChanges()) {
        if (auto saved = m_context->save(); !saved) {
            return saved;
        }
    }
    m_saved = m_finished;
    m_lastSave = std::chrono::steady_clock::now();
    m_progress.recipesDone = m_saved;
    if (m_progressHandler) {
        m_progressHandler(m_progress);
    }
    return {};
}

void RecipeImporter::reportBytes(std::uint64_t read, std::uint64_t total) {
    m_progress.bytesRead = read;
    m_progress.bytesTotal = total;
}

ImportOutcome RecipeImporter::outcome(std::optional<Error> error) const {
    return ImportOutcome{m_saved, std::move(error), cancelled()};
}

}  // namespace miravel
