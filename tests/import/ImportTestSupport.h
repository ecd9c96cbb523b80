#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "import/MiravelWindowController.h"
#include "ingredients/IngredientParser.h"
#include "lib/AtomicFile.h"
#include "lib/DateText.h"
#include "lib/Image.h"
#include "lib/MainQueue.h"
#include "lib/NotificationCenter.h"
#include "model/Library.h"
#include "model/PhotoStore.h"
#include "model/Recipe.h"
#include "model/RecipeCategory.h"
#include "model/SyncedObject.h"
#include "model/UserSettings.h"
#include "store/ManagedObjectContext.h"
#include "support/TemporaryFolder.h"

namespace miravel::testing {

// A JPEG of the given size whose colours vary, so that a crop or a scale shows.
inline std::string jpegOfSize(int width, int height) {
    Image image = Image::blank(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* pixel = image.pixel(x, y);
            pixel[0] = static_cast<std::uint8_t>(x);
            pixel[1] = static_cast<std::uint8_t>(y);
            pixel[2] = 128;
            pixel[3] = 255;
        }
    }
    return encodeJpeg(image).value();
}

// An opened library in a temporary folder, as the application has it: its main context
// follows the saves of every background context made from it.
class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override { openLibrary("library"); }

    void openLibrary(const std::string& name) {
        m_library.reset();
        m_settings = std::make_unique<UserSettings>(m_folder / (name + ".json"), &m_center);
        m_library = std::make_unique<Library>(m_folder / name, *m_settings,
                                              IngredientParser::sharedParser(), m_center, m_queue);
        auto opened = m_library->open();
        ASSERT_TRUE(opened) << opened.error().description;
    }
    ManagedObjectContext& main() { return *m_library->mainContext(); }

    std::vector<std::shared_ptr<Recipe>> liveRecipes() {
        auto recipes = main().fetch<Recipe>(livePredicate(), {SortDescriptor("name")});
        EXPECT_TRUE(recipes);
        return recipes ? *recipes : std::vector<std::shared_ptr<Recipe>>{};
    }
    std::vector<std::shared_ptr<RecipeCategory>> categories() {
        auto found = main().fetch<RecipeCategory>(std::nullopt, {SortDescriptor("orderFlag")});
        EXPECT_TRUE(found);
        return found ? *found : std::vector<std::shared_ptr<RecipeCategory>>{};
    }
    std::shared_ptr<RecipeCategory> addCategory(const std::string& name, std::int64_t orderFlag) {
        auto category = main().insert<RecipeCategory>();
        category->setName(name);
        category->setOrderFlag(orderFlag);
        return category;
    }
    void save() {
        auto saved = main().save();
        ASSERT_TRUE(saved) << saved.error().description;
    }
    // An import as the main window runs it.
    MiravelWindowController::ImportRun importFile(const std::filesystem::path& path) {
        MiravelWindowController controller(*m_library);
        return controller.performImport(path);
    }
    MiravelWindowController::ImportRun importText(const std::string& name,
                                                  const std::string& text) {
        const auto path = m_folder / name;
        EXPECT_TRUE(writeFileAtomically(path, text));
        return importFile(path);
    }
    std::shared_ptr<Recipe> recipeNamed(const std::string& name) {
        for (auto& recipe : liveRecipes()) {
            if (recipe->name() == name) {
                return recipe;
            }
        }
        ADD_FAILURE() << "no recipe named " << name;
        return nullptr;
    }
    static std::vector<std::string> categoryNames(const Recipe& recipe) {
        std::vector<std::string> names;
        for (const auto& category : recipe.categories()) {
            names.push_back(category->name().value_or(""));
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TemporaryFolder m_folder;
    NotificationCenter m_center;
    MainQueue m_queue;
    std::unique_ptr<UserSettings> m_settings;
    std::unique_ptr<Library> m_library;
};

}  // namespace miravel::testing
