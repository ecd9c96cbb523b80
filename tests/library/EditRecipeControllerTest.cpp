#include "library/EditRecipeController.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "lib/AtomicFile.h"
#include "lib/Image.h"
#include "model/ApplicationHooks.h"
#include "model/PhotoStore.h"
#include "model/Recipe.h"
#include "model/RecipeCategory.h"
#include "store/Database.h"
#include "support/StoreTestSupport.h"

namespace miravel {
namespace {

using testing::StoreTest;
using testing::succeeded;

class NoHooks : public ApplicationHooks {
public:
    bool presentError(const Error& error) override {
        ADD_FAILURE() << error.description;
        return false;
    }
    [[noreturn]] void presentFatalDatabaseError(const Error& error) override {
        ADD_FAILURE() << error.description;
        std::abort();
    }
    void showAlert(const std::string&, const std::string&, const std::string&) override {}
};

class RecordingDelegate : public EditRecipeControllerDelegate {
public:
    void recipeEdited(const std::shared_ptr<Recipe>& recipe) override { edited.push_back(recipe); }
    void editDismissed() override { ++dismissed; }
    void closeSheet() override { ++closed; }
    std::vector<std::shared_ptr<Recipe>> edited;
    int dismissed = 0;
    int closed = 0;
};

Image solidImage(int width, int height) {
    Image image = Image::blank(width, height);
    std::ranges::fill(image.pixels, 200);
    return image;
}

class EditRecipeControllerTest : public StoreTest {
public:
    void SetUp() override {
        StoreTest::SetUp();
        m_editor = std::make_unique<EditRecipeController>(*m_main, m_hooks, &m_delegate);
    }
    std::shared_ptr<Recipe> storedRecipe(const std::string& name, bool withPhoto) {
        auto recipe = m_main->insert<Recipe>();
        recipe->setName(name);
        if (withPhoto) {
            auto file = savePhoto(m_folder.path(), solidImage(40, 30));
            EXPECT_TRUE(file);
            recipe->setPhoto(*file);
        }
        recipe->setModified();
        EXPECT_TRUE(m_main->save());
        return recipe;
    }
    std::string jpegBytes(int width, int height) {
        auto bytes = encodeJpeg(solidImage(width, height));
        EXPECT_TRUE(bytes);
        return *bytes;
    }

    NoHooks m_hooks;
    RecordingDelegate m_delegate;
    std::unique_ptr<EditRecipeController> m_editor;
};

TEST_F(EditRecipeControllerTest, newRecipeNamesAreTrimmedAndNeverEmpty) {
    struct Case {
        std::string typed;
        std::string stored;
    };
    const Case cases[] = {
        {"", "My Awesome Recipe"}, {" \n\t ", "My Awesome Recipe"}, {"  Soup \n", "Soup"}};
    for (const auto& c : cases) {
        m_editor->setRecipe(nullptr);
        m_editor->initializeFields();
        EXPECT_EQ(m_editor->fields().difficulty, "Easy");
        m_editor->fields().name = c.typed;
        succeeded(m_editor->saveEditRecipeSheet());
        ASSERT_FALSE(m_delegate.edited.empty());
        auto recipe = m_delegate.edited.back();
        EXPECT_EQ(recipe->name(), c.stored) << c.typed;
        EXPECT_EQ(recipe->difficulty(), "Easy");
        EXPECT_TRUE(recipe->created());
        EXPECT_EQ(recipe->status(), kStatusModified);
        EXPECT_FALSE(recipe->hasChanges());
    }
    EXPECT_EQ(all<Recipe>(*freshContext()).size(), 3u);
}

TEST_F(EditRecipeControllerTest, aFailedSaveKeepsTheSheetAndASecondSaveInsertsOnce) {
    auto refuse = [&](bool on) {
        auto other = Database::open(m_coordinator->file(), Database::Access::ReadWrite);
        ASSERT_TRUE(other);
        ASSERT_TRUE(other->execute(on ? "CREATE TRIGGER refuse BEFORE INSERT ON Recipe BEGIN "
                                        "SELECT RAISE(ABORT, 'disk is full'); END"
                                      : "DROP TRIGGER refuse"));
    };
    m_editor->setRecipe(nullptr);
    m_editor->initializeFields();
    m_editor->fields().name = "Leek soup";
    m_editor->fields().ingredients = "2 leeks";
    refuse(true);

    auto saved = m_editor->saveEditRecipeSheet();
    ASSERT_FALSE(saved);
    EXPECT_NE(saved.error().description.find("disk is full"), std::string::npos);
    EXPECT_TRUE(m_delegate.edited.empty());  // the sheet is still open
    EXPECT_EQ(m_editor->fields().name, "Leek soup");
    EXPECT_TRUE(all<Recipe>(*freshContext()).empty());

    refuse(false);
    succeeded(m_editor->saveEditRecipeSheet());
    auto stored = all<Recipe>(*freshContext());
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0]->ingredients(), "2 leeks");
    EXPECT_EQ(all<Recipe>(*m_main).size(), 1u);
}

TEST_F(EditRecipeControllerTest, existingRecipeKeepsAnEmptyTrimmedName) {
    auto recipe = storedRecipe("Stew", false);
    m_editor->setRecipe(recipe);
    m_editor->initializeFields();
    EXPECT_EQ(m_editor->fields().name, "Stew");
    m_editor->fields().name = "   ";
    succeeded(m_editor->saveEditRecipeSheet());
    EXPECT_EQ(recipe->name(), "");
    EXPECT_EQ(m_editor->recipe(), nullptr);
    EXPECT_EQ(m_delegate.closed, 1);
}

TEST_F(EditRecipeControllerTest, emptyingTheWellDeletesThePhoto) {
    auto recipe = storedRecipe("Stew", true);
    const auto file = *recipe->photoPath();
    ASSERT_TRUE(recipe->photoHash());
    m_editor->setRecipe(recipe);
    m_editor->initializeFields();
    EXPECT_EQ(m_editor->wellPhotoPath(), file);
    m_editor->clearImage();
    succeeded(m_editor->saveEditRecipeSheet());
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(recipe->photo());
    EXPECT_FALSE(recipe->photoHash());
}

TEST_F(EditRecipeControllerTest, aChosenPhotoReplacesTheOldOneAsAThumbnail) {
    auto recipe = storedRecipe("Stew", true);
    const auto oldFile = *recipe->photoPath();
    const auto oldHash = recipe->photoHash();
    m_editor->setRecipe(recipe);
    m_editor->initializeFields();
    ASSERT_TRUE(m_editor->imageDragged(jpegBytes(1000, 500)));
    EXPECT_EQ(m_editor->image()->width, 280);
    succeeded(m_editor->saveEditRecipeSheet());
    EXPECT_FALSE(std::filesystem::exists(oldFile));
    auto newFile = recipe->photoPath();
    ASSERT_TRUE(newFile);
    EXPECT_NE(*newFile, oldFile);
    EXPECT_NE(recipe->photoHash(), oldHash);
    auto decoded = decodeImage(*readFile(*newFile));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width, 280);
    EXPECT_EQ(decoded->height, 280);
}

TEST_F(EditRecipeControllerTest, chooseImageJudgesAPictureByItsBytesNotItsName) {
    const auto unnamed = m_folder.path() / "IMG_0042";
    const auto misnamed = m_folder.path() / "dish.txt";
    const auto notAPicture = m_folder.path() / "notes.jpg";
    ASSERT_TRUE(writeFileAtomically(unnamed, jpegBytes(200, 100)));
    ASSERT_TRUE(writeFileAtomically(misnamed, jpegBytes(100, 50)));
    ASSERT_TRUE(writeFileAtomically(notAPicture, "two eggs, one cup of flour"));
    auto refused = m_editor->chooseImage(notAPicture);
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().description.find("notes.jpg is not a picture"), std::string::npos)
        << refused.error().description;
    EXPECT_FALSE(m_editor->image());
    ASSERT_TRUE(m_editor->chooseImage(unnamed));
    EXPECT_EQ(m_editor->image()->width, 200);
    EXPECT_EQ(m_editor->image()->height, 100);
    ASSERT_TRUE(m_editor->chooseImage(misnamed));
    EXPECT_EQ(m_editor->image()->width, 100);
}

TEST_F(EditRecipeControllerTest, chooseImageRefusesAPipeInsteadOfWaitingOnIt) {
    const auto fifo = m_folder.path() / "photo.jpg";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto refused = m_editor->chooseImage(fifo);
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().description.find("not a regular file"), std::string::npos)
        << refused.error().description;
    EXPECT_FALSE(m_editor->chooseImage(m_folder.path()));
    EXPECT_FALSE(m_editor->image());
}

TEST_F(EditRecipeControllerTest, theWorkingCategorySetIsWrittenOnDone) {
    auto soup = m_main->insert<RecipeCategory>();
    soup->setName("Soup");
    auto quick = m_main->insert<RecipeCategory>();
    quick->setName("Quick");
    auto recipe = storedRecipe("Stew", false);
    recipe->addCategory(soup);
    ASSERT_TRUE(m_main->save());

    m_editor->setRecipe(recipe);
    m_editor->initializeFields();
    auto& chooser = m_editor->changeCategories(true);
    ASSERT_EQ(chooser.numberOfRows(), 2u);  // Quick, Soup
    chooser.setChosen(0, true);
    chooser.setChosen(1, false);
    EXPECT_EQ(recipe->categories().size(), 1u);  // nothing written before Done
    succeeded(m_editor->saveEditRecipeSheet());  // takes the open popover's selection
    ASSERT_EQ(recipe->categories().size(), 1u);
    EXPECT_EQ(recipe->categories()[0], quick);
    EXPECT_FALSE(m_editor->categoriesOpen());
}

TEST_F(EditRecipeControllerTest, aRecipeDeletedMeanwhileIsNotSaved) {
    auto recipe = storedRecipe("Stew", false);
    m_editor->setRecipe(recipe);
    m_editor->initializeFields();
    m_editor->fields().name = "Changed";
    recipe->setStatus(kStatusDeleted);  // a sync's tombstone
    ASSERT_TRUE(m_main->save());
    succeeded(m_editor->saveEditRecipeSheet());
    EXPECT_EQ(recipe->name(), "Stew");
    EXPECT_TRUE(m_delegate.edited.empty());
    EXPECT_EQ(m_delegate.dismissed, 1);
    EXPECT_EQ(m_delegate.closed, 1);
}

TEST_F(EditRecipeControllerTest, deletingTheRecipeEndsTheSheet) {
    auto recipe = storedRecipe("Stew", false);
    m_editor->setRecipe(recipe);
    m_editor->initializeFields();
    ASSERT_TRUE(Recipe::deleteRecipes(*m_main, {recipe}));
    EXPECT_EQ(m_editor->recipe(), nullptr);
    EXPECT_EQ(m_delegate.dismissed, 1);
    EXPECT_EQ(m_delegate.closed, 1);
}

TEST_F(EditRecipeControllerTest, browserDataFillsTheFields) {
    JsonObject data{{"name", "Pancakes"},   {"servings", "4"},
                    {"prep_time", "5 min"}, {"cook_time", JsonValue()},
                    {"difficulty", "Hard"}, {"ingredients", "1 egg\n1 cup flour"},
                    {"rating", 5},          {"image_url", "https://example.com/p.jpg"}};
    m_editor->setRecipe(nullptr);
    m_editor->setBrowserData(data);
    m_editor->initializeFields();
    const auto& fields = m_editor->fields();
    EXPECT_EQ(fields.name, "Pancakes");
    EXPECT_EQ(fields.servings, "4");
    EXPECT_EQ(fields.prepTime, "5 min");
    EXPECT_EQ(fields.cookTime, "");
    EXPECT_EQ(fields.difficulty, "Hard");
    EXPECT_EQ(fields.rating, 0);
    EXPECT_EQ(fields.notes, "");
    succeeded(m_editor->saveEditRecipeSheet());
    auto recipe = m_delegate.edited.at(0);
    EXPECT_EQ(recipe->ingredients(), "1 egg\n1 cup flour");
    EXPECT_EQ(recipe->imageUrl(), "https://example.com/p.jpg");
    EXPECT_EQ(recipe->difficulty(), "Hard");
}

TEST_F(EditRecipeControllerTest, aClippedPictureBecomesTheNewRecipesPhoto) {
    m_editor->setRecipe(nullptr);
    m_editor->setBrowserData(JsonObject{{"name", "Clipped"}});
    m_editor->setImage(solidImage(280, 200));
    m_editor->initializeFields();
    EXPECT_TRUE(m_editor->wellShowsImage());
    succeeded(m_editor->saveEditRecipeSheet());
    auto recipe = m_delegate.edited.at(0);
    ASSERT_TRUE(recipe->photoPath());
    auto decoded = decodeImage(*readFile(*recipe->photoPath()));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width, 280);
    EXPECT_EQ(decoded->height, 200);
}

TEST_F(EditRecipeControllerTest, cancelWritesNothing) {
    auto recipe = storedRecipe("Stew", true);
    const auto file = *recipe->photoPath();
    m_editor->setRecipe(recipe);
    m_editor->initializeFields();
    m_editor->fields().name = "Changed";
    m_editor->clearImage();
    m_editor->cancelEditRecipeSheet();
    EXPECT_EQ(recipe->name(), "Stew");
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_FALSE(recipe->hasChanges());
    EXPECT_EQ(m_delegate.dismissed, 1);
}

}  // namespace
}  // namespace miravel
