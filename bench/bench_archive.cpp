// Recipe archives at the size of a large collection: 10,000 recipes, one in ten with a photo,
// exported as an archive and imported into an empty library, each beside Debian's zip -9 and
// unzip doing the same work on the same recipe files (the floor: compression and file
// handling without any store).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "RecipeLibrary.h"
#include "import/MiravelExporter.h"
#include "import/MiravelWindowController.h"
#include "ingredients/IngredientParser.h"
#include "lib/AtomicFile.h"
#include "lib/Image.h"
#include "lib/MainQueue.h"
#include "lib/NotificationCenter.h"
#include "model/Library.h"
#include "model/PhotoStore.h"
#include "model/Recipe.h"
#include "model/SyncedObject.h"
#include "model/UserSettings.h"
#include "store/ManagedObjectContext.h"

using namespace miravel;
using namespace miravel::bench;

namespace {

constexpr int kRecipes = 10'000;

std::string photoBytes() {
    Image image = Image::blank(280, 210);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            std::uint8_t* pixel = image.pixel(x, y);
            pixel[0] = static_cast<std::uint8_t>(x * 3);
            pixel[1] = static_cast<std::uint8_t>(y * 5);
            pixel[2] = static_cast<std::uint8_t>((x ^ y) * 7);
            pixel[3] = 255;
        }
    }
    return encodeJpeg(image).value();
}

struct OpenLibrary {
    explicit OpenLibrary(const std::filesystem::path& folder)
        : settings(folder / "settings.json", &center),
          library(folder, settings, IngredientParser::sharedParser(), center, queue) {
        if (!library.open()) {
            std::fprintf(stderr, "cannot open %s\n", folder.c_str());
            std::exit(1);
        }
    }
    NotificationCenter center;
    MainQueue queue;
    UserSettings settings;
    Library library;
};

}  // namespace

// With a path, the archive is also copied there, to profile `miravel import` on it.
int main(int argc, char** argv) {
    const auto root = scratchFolder("archive");
    OpenLibrary source(root / "source");
    std::mt19937 random(11);
    const std::string photo = photoBytes();
    {
        ManagedObjectContext& context = *source.library.mainContext();
        for (int i = 0; i < kRecipes; ++i) {
            auto recipe = context.insert<Recipe>();
            fillRecipe(*recipe, makeRecipe(random, i));
            if (i % 10 == 0) {
                const std::string name = "photo-" + std::to_string(i) + ".jpg";
                (void)writeFileAtomically(source.library.filesFolder() / name, photo);
                recipe->setPhoto(name);
            }
        }
        if (!context.save()) {
            std::fprintf(stderr, "save failed\n");
            return 1;
        }
    }
    MiravelWindowController controller(source.library);
    controller.populateCategoriesForExportView();
    auto recipes = controller.fetchRecipesForExport(0);

    const auto archive = root / "All.miravelrecipes";
    auto start = std::chrono::steady_clock::now();
    if (!MiravelExporter::exportRecipesToMiravelFormat(recipes, archive)) {
        std::fprintf(stderr, "export failed\n");
        return 1;
    }
    const double exportSeconds = secondsSince(start);
    if (argc > 1) {
        std::filesystem::copy_file(archive, argv[1],
                                   std::filesystem::copy_options::overwrite_existing);
    }

    OpenLibrary target(root / "target");
    MiravelWindowController importer(target.library);
    start = std::chrono::steady_clock::now();
    auto run = importer.performImport(archive);
    const double importSeconds = secondsSince(start);
    if (run.outcome.error || run.outcome.count != kRecipes) {
        std::fprintf(stderr, "import failed\n");
        return 1;
    }

    // The floor: the same recipe files, compressed and listed by zip, unpacked by unzip.
    const auto files = root / "files";
    std::filesystem::create_directories(files);
    ArchiveEntryNames names;
    for (const auto& recipe : recipes) {
        (void)writeFileAtomically(files / names.uniqueName(recipe->emailFilename()),
                                  recipe->emailAttachment());
    }
    const double zipSeconds =
        timeCommand("cd '" + files.string() + "' && zip -9 -q -r ../floor.zip .");
    const double unzipSeconds = timeCommand("unzip -q -o '" + (root / "floor.zip").string() +
                                            "' -d '" + (root / "unzipped").string() + "'");

    std::printf("%-34s %9s %12s %9s\n", "10,000 recipes (1,000 photos)", "seconds", "recipes/s",
                "× floor");
    std::printf("%-34s %9.2f %12.0f %9.2f\n", "export as archive", exportSeconds,
                kRecipes / exportSeconds, exportSeconds / zipSeconds);
    std::printf("%-34s %9.2f %12.0f\n", "  floor: zip -9 of the files", zipSeconds,
                kRecipes / zipSeconds);
    std::printf("%-34s %9.2f %12.0f %9.2f\n", "import into an empty library", importSeconds,
                kRecipes / importSeconds, importSeconds / unzipSeconds);
    std::printf("%-34s %9.2f %12.0f\n", "  floor: unzip of the archive", unzipSeconds,
                kRecipes / unzipSeconds);
    std::filesystem::remove_all(root);
    return 0;
}
