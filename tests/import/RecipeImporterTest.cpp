#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "import/ImportTestSupport.h"
#include "import/ImporterDispatch.h"
#include "import/MiravelExporter.h"
#include "import/MiravelRecipeImporter.h"
#include "import/MiravelWindowController.h"
#include "import/RecipeFileOpening.h"
#include "lib/AtomicFile.h"
#include "lib/Crypto.h"
#include "lib/Gzip.h"
#include "lib/JsonWriter.h"
#include "lib/ZipArchive.h"
#include "model/AutomaticBackups.h"
#include "model/LibraryBackup.h"
#include "model/MiravelObjectModel.h"
#include "model/RecipeFile.h"
#include "store/QVArrayController.h"

namespace miravel {
namespace {

using testing::LibraryTest;

class RecipeImporterTest : public LibraryTest {
protected:
    std::shared_ptr<Recipe> fullRecipe(const std::string& name) {
        auto recipe = main().insert<Recipe>();
        recipe->setName(name);
        recipe->setIngredients("2 cups flour\n1 egg\n½ tsp salt");
        recipe->setDirections("Mix.\nBake at 200 °C.");
        recipe->setNotes("From grand-mère");
        recipe->setServings("4");
        recipe->setPrepTime("15 min");
        recipe->setCookTime("1 hour");
        recipe->setDifficulty("Easy");
        recipe->setRating(4);
        recipe->setSource("The book");
        recipe->setSourceUrl("https://example.org/r");
        recipe->setImageUrl("https://example.org/r.jpg");
        recipe->setNutritionalInfo("200 kcal");
        return recipe;
    }
};

// The members a recipe file carries, as plain values that outlive the recipe's library.
std::vector<std::optional<std::string>> carriedMembers(const Recipe& recipe) {
    std::vector<std::string> names;
    for (const auto& category : recipe.categories()) {
        names.push_back(category->name().value_or(""));
    }
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const auto& name : names) {
        joined += name + "|";
    }
    auto rating = recipe.rating();
    return {recipe.name(),
            recipe.ingredients(),
            recipe.directions(),
            recipe.notes(),
            recipe.servings(),
            recipe.prepTime(),
            recipe.cookTime(),
            recipe.difficulty(),
            recipe.source(),
            recipe.sourceUrl(),
            recipe.imageUrl(),
            recipe.nutritionalInfo(),
            rating ? std::optional(std::to_string(*rating)) : std::nullopt,
            joined};
}

void expectSameCarriedMembers(const Recipe& a, const Recipe& b) {
    EXPECT_EQ(carriedMembers(a), carriedMembers(b));
}

TEST_F(RecipeImporterTest, FindsOrMakesCategoriesByExactTrimmedName) {
    addCategory("Other", 7);
    addCategory("soup", 3);
    auto gone = addCategory("Gone", 9);
    gone->setStatus(kStatusDeleted);
    save();
    MiravelRecipeImporter importer(*m_library);
    auto& context = importer.managedObjectContext();
    auto holder = context.insert<Recipe>();
    importer.addCategoryToRecipe("Soup", *holder);
    importer.addCategoryToRecipe("Bread", *holder);
    importer.addCategoryToRecipe(" Soup\n", *holder);
    importer.addCategoryToRecipe("   ", *holder);
    importer.addCategoryToRecipe("Gone", *holder);
    ASSERT_TRUE(context.save());

    std::map<std::string, std::int64_t> orderFlags;
    for (const auto& category : holder->categories()) {
        orderFlags[category->name().value_or("")] = category->orderFlag();
    }
    // "soup" does not match "Soup"; the deleted "Gone" is found as it is; new categories come
    // after the largest live position, in the order met.
    EXPECT_EQ(orderFlags,
              (std::map<std::string, std::int64_t>{{"Soup", 8}, {"Bread", 9}, {"Gone", 9}}));
    EXPECT_EQ(categories().size(), 5u);
}

TEST_F(RecipeImporterTest, ChoosesTheImporterByExtensionInAnyCase) {
    const auto path = m_folder / "Soup.MIRAVELRECIPE";
    ASSERT_TRUE(writeFileAtomically(path, fullRecipe("Soup")->emailAttachment()));
    main().rollback();
    EXPECT_NE(importerForFile(path, *m_library), nullptr);
    EXPECT_TRUE(isImportableFile(path));
    EXPECT_EQ(importFile(path).outcome.count, 1u);

    const auto text = m_folder / "notes.txt";
    ASSERT_TRUE(writeFileAtomically(text, "hello"));
    // What may be dropped on the window: files the importers read, never a folder so named.
    EXPECT_FALSE(isImportableFile(text));
    EXPECT_FALSE(isImportableFile(m_folder / "missing.mmf"));
    std::filesystem::create_directories(m_folder / "folder.zip");
    EXPECT_FALSE(isImportableFile(m_folder / "folder.zip"));
    auto run = importFile(text);
    ASSERT_TRUE(run.outcome.error);
    EXPECT_EQ(run.outcome.error->description, "File not recognized.");
    EXPECT_EQ(MiravelWindowController::importAlert(run.outcome).title, "Import Failed");
    EXPECT_EQ(liveRecipes().size(), 1u);
}

TEST_F(RecipeImporterTest, ARecipeFileComesBackWithANewIdentityAndAThumbnail) {
    auto original = fullRecipe("Crème brûlée");
    original->addCategory(addCategory("Desserts", 1));
    original->addCategory(addCategory("French", 2));
    auto photo = savePhoto(m_library->filesFolder(), testing::jpegOfSize(400, 200));
    ASSERT_TRUE(photo);
    original->setPhoto(*photo);
    save();
    const auto path = m_folder / original->emailFilename();
    ASSERT_TRUE(MiravelExporter::exportRecipeFile(*original, path));
    // The photo on disk is already a thumbnail (280 x 140); a full-size one must shrink too.
    auto object = readRecipeFile(readFile(path).value()).value();

    auto run = importFile(path);
    ASSERT_FALSE(run.outcome.error) << run.outcome.error->description;
    EXPECT_EQ(run.outcome.count, 1u);
    EXPECT_EQ(MiravelWindowController::importAlert(run.outcome).message,
              "Successfully imported 1 recipes.");
    auto recipes = liveRecipes();
    ASSERT_EQ(recipes.size(), 2u);
    auto copy = recipes[0] == original ? recipes[1] : recipes[0];
    expectSameCarriedMembers(*original, *copy);
    EXPECT_NE(copy->uid(), original->uid());
    EXPECT_NE(copy->photo(), original->photo());
    ASSERT_TRUE(copy->photoPath());
    auto image = decodeImage(readFile(*copy->photoPath()).value());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 280);
    EXPECT_EQ(image->height, 140);
    EXPECT_EQ(categories().size(), 2u) << "categories are linked by name, not duplicated";
    EXPECT_EQ(copy->status(), kStatusModified);
}

TEST_F(RecipeImporterTest, AThousandRecipesRoundTripThroughAnArchive) {
    const std::string photoBytes = testing::jpegOfSize(64, 48);
    std::vector<std::shared_ptr<RecipeCategory>> shelf = {
        addCategory("Soup", 1), addCategory("Bread", 2), addCategory("Fête", 3)};
    for (int i = 0; i < 1000; ++i) {
        auto recipe = fullRecipe("Recipe " + std::to_string(i) + (i % 3 == 0 ? " — ünï" : ""));
        recipe->setRating(i % 6);
        recipe->setOnFavorites(i % 2 == 0);
        recipe->addCategory(shelf[static_cast<std::size_t>(i) % 3]);
        if (i % 10 == 0) {
            recipe->setPhoto(savePhoto(m_library->filesFolder(), photoBytes).value());
        }
    }
    save();
    MiravelWindowController exporter(*m_library);
    exporter.populateCategoriesForExportView();
    const auto archive = m_folder / "All.miravelrecipes";
    const AlertText done =
        exporter.exportRecipes(MiravelWindowController::ExportFormat::Archive, 0, archive);
    ASSERT_EQ(done.title, "Export Complete") << done.message;
    EXPECT_EQ(done.message, "1000 recipes exported.");
    {
        // Every entry is deflate, the one method earlier readers of archives take, and holds
        // its recipe's file in the recipes' order.
        const std::string bytes = readFile(archive).value();
        std::size_t entries = 0;
        for (auto at = bytes.find("PK\x03\x04"); at != std::string::npos;
             at = bytes.find("PK\x03\x04", at + 4)) {
            if (at + 30 <= bytes.size() && bytes[at + 8] == 8 && bytes[at + 9] == 0) {
                ++entries;
            }
        }
        EXPECT_GE(entries, 1000u);
        auto reader = ZipReader::open(archive).value();
        ASSERT_EQ(reader.entries().size(), 1000u);
        EXPECT_EQ(readRecipeFile(reader.read(999).value()).value().find("name")->asString(),
                  exporter.fetchRecipesForExport(0).back()->name().value());
    }
    std::vector<std::vector<std::optional<std::string>>> originals;
    std::vector<bool> withPhoto;
    for (const auto& recipe : liveRecipes()) {
        originals.push_back(carriedMembers(*recipe));
        withPhoto.push_back(recipe->photo().has_value());
    }

    openLibrary("empty");
    for (int pass = 1; pass <= 2; ++pass) {
        auto run = importFile(archive);
        ASSERT_FALSE(run.outcome.error) << run.outcome.error->description;
        EXPECT_EQ(run.outcome.count, 1000u);
    }
    auto copies = liveRecipes();
    ASSERT_EQ(copies.size(), 2000u) << "importing twice gives two copies";
    for (std::size_t i = 0; i < originals.size(); ++i) {
        EXPECT_EQ(originals[i], carriedMembers(*copies[2 * i]));
        EXPECT_EQ(originals[i], carriedMembers(*copies[2 * i + 1]));
        EXPECT_EQ(withPhoto[i], copies[2 * i]->photoPath().has_value());
        EXPECT_FALSE(copies[2 * i]->onFavorites().value_or(false)) << "not carried by the format";
    }
    EXPECT_EQ(categories().size(), 3u);
}

TEST_F(RecipeImporterTest, ADamagedEntryIsSkippedAndReported) {
    const auto path = m_folder / "Mixed.miravelrecipes";
    {
        auto writer = ZipWriter::create(path).value();
        const auto now = currentMoment();
        ASSERT_TRUE(writer.add("A.miravelrecipe", fullRecipe("A")->emailAttachment(), now));
        ASSERT_TRUE(writer.add("junk.miravelrecipe", "not gzip at all", now));
        ASSERT_TRUE(writer.add("B.txt", fullRecipe("B")->emailAttachment(), now));
        ASSERT_TRUE(writer.commit());
    }
    main().rollback();
    auto run = importFile(path);
    ASSERT_TRUE(run.outcome.error);
    EXPECT_EQ(run.outcome.error->description, "Unable to parse this file.");
    EXPECT_EQ(run.outcome.count, 2u);
    EXPECT_EQ(liveRecipes().size(), 2u) << "the good entries stay";
    ASSERT_EQ(run.records.size(), 3u);
    EXPECT_FALSE(run.records[1].imported);
    EXPECT_EQ(run.records[1].name, "junk.miravelrecipe");

    ASSERT_TRUE(writeFileAtomically(path, "not a zip archive"));
    run = importFile(path);
    ASSERT_TRUE(run.outcome.error);
    EXPECT_EQ(run.outcome.error->description, "There was a problem importing this file.");

    const auto plain = m_folder / "Plain.miravelrecipe";
    ASSERT_TRUE(writeFileAtomically(plain, "{\"name\":\"Plain\"}"));
    run = importFile(plain);
    ASSERT_TRUE(run.outcome.error);
    EXPECT_EQ(run.outcome.error->description, "Unable to parse this file.");
    EXPECT_EQ(liveRecipes().size(), 2u);
}

TEST_F(RecipeImporterTest, MembersOfTheWrongTypeStayAbsent) {
    const auto path = m_folder / "Odd.miravelrecipe";
    ASSERT_TRUE(writeFileAtomically(
        path, gzipCompress(R"({"name":5,"rating":"high","notes":null,"servings":"2",)"
                           R"("uid":"taken","created":"1999-01-01 00:00:00","photo_data":"%%%",)"
                           R"("categories":["  ", 3, "Soup"]})")));
    auto run = importFile(path);
    ASSERT_FALSE(run.outcome.error);
    auto recipes = liveRecipes();
    ASSERT_EQ(recipes.size(), 1u);
    EXPECT_FALSE(recipes[0]->name());
    EXPECT_FALSE(recipes[0]->rating());
    EXPECT_EQ(recipes[0]->servings(), "2");
    EXPECT_NE(recipes[0]->uid(), "taken");
    EXPECT_GT(*recipes[0]->created(), currentMoment() - std::chrono::hours(1));
    EXPECT_FALSE(recipes[0]->photo());
    ASSERT_EQ(recipes[0]->categories().size(), 1u);
}

TEST_F(RecipeImporterTest, ArchiveEntriesAreNamedApart) {
    ArchiveEntryNames names;
    EXPECT_EQ(names.uniqueName("Pie.miravelrecipe"), "Pie.miravelrecipe");
    EXPECT_EQ(names.uniqueName("pie.miravelrecipe"), "pie 2.miravelrecipe");
    EXPECT_EQ(names.uniqueName("Pie.miravelrecipe"), "Pie 3.miravelrecipe");
    EXPECT_EQ(names.uniqueName("Soup.miravelrecipe"), "Soup.miravelrecipe");
    EXPECT_EQ(names.uniqueName("Soup.miravelrecipe"), "Soup 2.miravelrecipe");
}

TEST_F(RecipeImporterTest, ExportChoicesFollowTheSidebar) {
    auto soup = addCategory("Soup", 2);
    addCategory("Bread", 1);
    auto leek = fullRecipe("leek soup");
    leek->addCategory(soup);
    auto apple = fullRecipe("Apple pie");
    apple->setOnFavorites(true);
    fullRecipe("Bean stew");
    save();
    MiravelWindowController controller(*m_library);
    EXPECT_EQ(controller.populateCategoriesForExportView(),
              (std::vector<std::string>{"All Recipes", "Favorites", "Bread", "Soup"}));
    auto names = [](const std::vector<std::shared_ptr<Recipe>>& recipes) {
        std::vector<std::string> names;
        for (const auto& recipe : recipes) {
            names.push_back(recipe->name().value_or(""));
        }
        return names;
    };
    EXPECT_EQ(names(controller.fetchRecipesForExport(0)),
              (std::vector<std::string>{"Apple pie", "Bean stew", "leek soup"}));
    EXPECT_EQ(names(controller.fetchRecipesForExport(1)), std::vector<std::string>{"Apple pie"});
    EXPECT_EQ(names(controller.fetchRecipesForExport(3)), std::vector<std::string>{"leek soup"});
    EXPECT_TRUE(controller.fetchRecipesForExport(9).empty());
    EXPECT_EQ(MiravelWindowController::exportFileName(
                  "My Recipes", MiravelWindowController::ExportFormat::Archive),
              "My Recipes.miravelrecipes");
    EXPECT_EQ(MiravelWindowController::exportFileName("My Recipes.miravelrecipes",
                                                      MiravelWindowController::ExportFormat::Html),
              "My Recipes");
}

TEST_F(RecipeImporterTest, AFailedExportKeepsTheFileThatWasThere) {
    const auto archive = m_folder / "Keep.miravelrecipes";
    ASSERT_TRUE(writeFileAtomically(archive, "an older export"));
    fullRecipe("Soup");
    save();
    MiravelWindowController controller(*m_library);
    controller.populateCategoriesForExportView();
    const AlertText alert = controller.exportRecipes(MiravelWindowController::ExportFormat::Archive,
                                                     0, m_folder / "missing" / "x.miravelrecipes");
    EXPECT_EQ(alert.title, "Export Error");
    EXPECT_TRUE(alert.message.starts_with("Recipes could not be exported. Reason: "))
        << alert.message;
    EXPECT_EQ(readFile(archive).value(), "an older export");
}

// A backup made by hand is checked before "Backup Complete" is said, and the restore dialog
// opens where the automatic backups are, once there are any.
TEST_F(RecipeImporterTest, BackupsAreVerifiedAndTheRestoreDialogOpensInTheBackupsFolder) {
    fullRecipe("Soup");
    save();
    MiravelWindowController controller(*m_library);
    EXPECT_EQ(controller.restoreBackupFolder(), std::filesystem::path());
    const auto file = m_folder / "By hand.miravelbak";
    const AlertText made = controller.createBackupInBackgroundThread(file);
    EXPECT_EQ(made.title, "Backup Complete") << made.message;
    EXPECT_EQ(recipesInBackup(file), std::optional<std::size_t>(1));

    const auto folder = backupsFolder(m_library->filesFolder(), m_library->settings());
    ASSERT_TRUE(runAutomaticBackup(m_library->filesFolder(), folder, miravelModelVersions(),
                                   currentMoment()));
    EXPECT_EQ(controller.restoreBackupFolder(), folder);
}

TEST_F(RecipeImporterTest, OpeningARecipeFileKeepsThePhotoWholeAndLeavesTheRestBehind) {
    auto original = fullRecipe("Soup");
    original->addCategory(addCategory("Starters", 1));
    JsonObject object = original->recipeFileObject();
    object.set("photo_data", base64Encode(testing::jpegOfSize(600, 400)));
    main().rollback();
    const auto path = m_folder / "Soup.miravelrecipe";
    ASSERT_TRUE(writeFileAtomically(path, gzipCompress(JsonWriter::write(JsonValue(object)))));

    auto opened = openRecipeFile(*m_library, path);
    ASSERT_TRUE(opened) << opened.error().description;
    auto recipe = *opened;
    EXPECT_EQ(recipe->name(), "Soup");
    EXPECT_EQ(recipe->ingredients(), "2 cups flour\n1 egg\n½ tsp salt");
    EXPECT_FALSE(recipe->notes());
    EXPECT_FALSE(recipe->rating());
    EXPECT_TRUE(recipe->categories().empty());
    EXPECT_EQ(recipe->status(), kStatusModified);
    auto image = decodeImage(readFile(recipe->photoPath().value()).value());
    EXPECT_EQ(image->width, 600);
    EXPECT_EQ(liveRecipes().size(), 1u);

    ASSERT_TRUE(writeFileAtomically(path, "nonsense"));
    auto refused = openRecipeFile(*m_library, path);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().description, "This recipe could not be imported");
    EXPECT_EQ(liveRecipes().size(), 1u);
}

TEST_F(RecipeImporterTest, ABackgroundImportReachesTheLiveListAndCanBeCancelled) {
    for (int i = 0; i < 300; ++i) {
        fullRecipe("R" + std::to_string(i));
    }
    save();
    const auto archive = m_folder / "Many.miravelrecipes";
    ASSERT_TRUE(MiravelExporter::exportRecipesToMiravelFormat(liveRecipes(), archive));
    openLibrary("target");

    QVArrayController list(
        FetchRequest{Recipe::kEntityName, livePredicate(), {SortDescriptor("name")}}, &main());
    ASSERT_TRUE(list.performFetch());
    std::atomic<bool> finished = false;
    MiravelWindowController::ImportRun run;
    std::thread worker([&] {
        MiravelWindowController controller(*m_library);
        run = controller.performImport(archive);
        finished = true;
        m_queue.post([] {});
    });
    ASSERT_TRUE(m_queue.runUntil([&] { return finished.load(); }, std::chrono::seconds(60)));
    worker.join();
    m_queue.processPending();
    EXPECT_EQ(run.outcome.count, 300u);
    EXPECT_EQ(list.arrangedObjects().size(), 300u);

    std::atomic<bool> cancel = true;
    MiravelWindowController controller(*m_library);
    run = controller.performImport(archive, {}, &cancel);
    EXPECT_TRUE(run.outcome.cancelled);
    EXPECT_EQ(run.outcome.count, 0u);
    EXPECT_EQ(MiravelWindowController::importAlert(run.outcome).title, "Import Cancelled");
}

// The archive's entries are read, and their photos written, a little ahead of the store: an
// import cancelled part way leaves no photo file that no recipe names, and every recipe it
// saved has its photo on disk.
TEST_F(RecipeImporterTest, ACancelledArchiveImportLeavesNoStrayPhotos) {
    const std::string photoBytes = testing::jpegOfSize(64, 48);
    for (int i = 0; i < 1000; ++i) {
        fullRecipe("R" + std::to_string(i))
            ->setPhoto(savePhoto(m_library->filesFolder(), photoBytes).value());
    }
    save();
    const auto archive = m_folder / "Photos.miravelrecipes";
    ASSERT_TRUE(MiravelExporter::exportRecipesToMiravelFormat(liveRecipes(), archive));
    openLibrary("target");

    // Cancelled at the first batch the lists are shown, when the import lasts that long.
    std::atomic<bool> cancel = false;
    MiravelWindowController controller(*m_library);
    auto run = controller.performImport(
        archive, [&](const ImportProgress&) { cancel = true; }, &cancel);
    ASSERT_FALSE(run.outcome.error);
    auto recipes = liveRecipes();
    EXPECT_EQ(recipes.size(), run.outcome.count);
    std::set<std::string> named;
    for (const auto& recipe : recipes) {
        ASSERT_TRUE(recipe->photoPath()) << recipe->name().value_or("");
        EXPECT_TRUE(std::filesystem::is_regular_file(*recipe->photoPath()));
        named.insert(recipe->photo().value_or(""));
    }
    std::set<std::string> onDisk;
    for (const auto& file : std::filesystem::directory_iterator(m_library->filesFolder())) {
        if (file.path().extension() == ".jpg") {
            onDisk.insert(file.path().filename().string());
        }
    }
    EXPECT_EQ(onDisk, named);
}

}  // namespace
}  // namespace miravel
