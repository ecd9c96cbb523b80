// Backing up and restoring a large library: 10,000 recipes, each with a photo of about 25 KB,
// beside Debian's zip -9 and unzip doing the same work on the same files (the floor: the
// archive's compression and file handling without any store work).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "RecipeLibrary.h"
#include "ingredients/IngredientParser.h"
#include "lib/AtomicFile.h"
#include "lib/Image.h"
#include "lib/MainQueue.h"
#include "lib/NotificationCenter.h"
#include "model/AutomaticBackups.h"
#include "model/Library.h"
#include "model/LibraryBackup.h"
#include "model/MiravelObjectModel.h"
#include "model/Recipe.h"
#include "model/UserSettings.h"
#include "store/ManagedObjectContext.h"

using namespace miravel;
using namespace miravel::bench;

namespace {

constexpr int kRecipes = 10'000;

// A photo of about 25 KB, its pixels varied by `seed` so that no two files are alike.
std::string photoBytes(int seed) {
    Image image = Image::blank(300, 225);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            std::uint8_t* pixel = image.pixel(x, y);
            pixel[0] = static_cast<std::uint8_t>(x * 3 + seed);
            pixel[1] = static_cast<std::uint8_t>(y * 5 + (x * y) % 13);
            pixel[2] = static_cast<std::uint8_t>((x ^ y) * 7 + seed * 3);
            pixel[3] = 255;
        }
    }
    return encodeJpeg(image).value();
}

std::uintmax_t sizeOf(const std::filesystem::path& file) {
    std::error_code error;
    return std::filesystem::file_size(file, error);
}

}  // namespace

int main() {
    const auto root = scratchFolder("backup");
    const auto folder = root / "source" / "Miravel";
    std::uintmax_t photoTotal = 0;
    {
        NotificationCenter center;
        MainQueue queue;
        UserSettings settings(root / "settings.json", &center);
        Library library(folder, settings, IngredientParser::sharedParser(), center, queue);
        if (!library.open()) {
            std::fprintf(stderr, "cannot open %s\n", folder.c_str());
            return 1;
        }
        std::mt19937 random(11);
        ManagedObjectContext& context = *library.mainContext();
        // A few photos, written under many names: encoding 10,000 of them would take longer
        // than what is measured.
        std::vector<std::string> photos;
        for (int i = 0; i < 16; ++i) {
            photos.push_back(photoBytes(i));
        }
        for (int i = 0; i < kRecipes; ++i) {
            auto recipe = context.insert<Recipe>();
            fillRecipe(*recipe, makeRecipe(random, i));
            const std::string name = "photo-" + std::to_string(i) + ".jpg";
            const std::string& photo = photos[static_cast<std::size_t>(i) % photos.size()];
            (void)writeFileAtomically(folder / name, photo);
            photoTotal += photo.size();
            recipe->setPhoto(name);
        }
        if (!context.save()) {
            std::fprintf(stderr, "save failed\n");
            return 1;
        }
    }

    const auto archive = root / "Backup.miravelbak";
    auto start = std::chrono::steady_clock::now();
    if (auto written = writeLibraryBackup(folder, archive); !written) {
        std::fprintf(stderr, "backup failed: %s\n", written.error().description.c_str());
        return 1;
    }
    const double backupSeconds = secondsSince(start);
    // The same with the photos deflated at level 9, as zip -9 does.
    const auto deflated = root / "Deflated.miravelbak";
    start = std::chrono::steady_clock::now();
    if (auto written = writeLibraryBackup(folder, deflated, {}, 9); !written) {
        std::fprintf(stderr, "backup failed: %s\n", written.error().description.c_str());
        return 1;
    }
    const double deflatedSeconds = secondsSince(start);

    // The manual backup as the desktop and the command line make it: written, then verified.
    const auto verified = root / "Verified.miravelbak";
    start = std::chrono::steady_clock::now();
    if (auto written = writeVerifiedLibraryBackup(folder, verified, miravelModelVersions());
        !written) {
        std::fprintf(stderr, "backup failed: %s\n", written.error().description.c_str());
        return 1;
    }
    const double verifiedSeconds = secondsSince(start);

    // The automatic backup on its own thread, while the main thread runs its queue with a
    // task due every 10 ms: the worst lateness of those tasks is the stall a window would see.
    // The same queue with no backup beside it, for as long, is the baseline: what the rest of
    // the machine costs the main thread anyway.
    double automaticSeconds = 0;
    double worstStallMs = 0;
    double idleStallMs = 0;
    const auto worstLateness = [](MainQueue& queue, const std::function<bool()>& done) {
        double worst = 0;
        std::function<void()> tick;
        auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(10);
        tick = [&] {
            const auto late = std::chrono::steady_clock::now() - due;
            worst = std::max(worst, std::chrono::duration<double, std::milli>(late).count());
            due = std::chrono::steady_clock::now() + std::chrono::milliseconds(10);
            queue.postAfter(std::chrono::milliseconds(10), tick);
        };
        queue.postAfter(std::chrono::milliseconds(10), tick);
        queue.runUntil(done, std::chrono::minutes(5));
        return worst;
    };
    {
        MainQueue queue;
        bool done = false;
        start = std::chrono::steady_clock::now();
        std::thread worker([&] {
            auto run = runAutomaticBackup(folder, root / "Backups", miravelModelVersions(),
                                          currentMoment(), true);
            if (!run) {
                std::fprintf(stderr, "automatic backup failed: %s\n",
                             run.error().description.c_str());
            }
            automaticSeconds = secondsSince(start);
            queue.post([&] { done = true; });
        });
        worstStallMs = worstLateness(queue, [&] { return done; });
        worker.join();
    }
    {
        MainQueue queue;
        const auto idleStart = std::chrono::steady_clock::now();
        idleStallMs =
            worstLateness(queue, [&] { return secondsSince(idleStart) > automaticSeconds; });
    }

    const auto restored = root / "restored" / "Miravel";
    start = std::chrono::steady_clock::now();
    if (auto done = restoreLibraryBackup(restored, archive, miravelModelVersions()); !done) {
        std::fprintf(stderr, "restore failed: %s\n", done.error().description.c_str());
        return 1;
    }
    const double restoreSeconds = secondsSince(start);

    // The floor: the same files, compressed by zip -9, unpacked by unzip.
    const double zipSeconds = timeCommand("cd '" + folder.string() + "' && zip -9 -q '" +
                                          (root / "floor.zip").string() + "' Miravel.sqlite *.jpg");
    const double unzipSeconds = timeCommand("unzip -q -o '" + (root / "floor.zip").string() +
                                            "' -d '" + (root / "unzipped").string() + "'");

    std::printf("10,000 recipes, 10,000 photos (%.0f MB of photos, store %.1f MB)\n",
                static_cast<double>(photoTotal) / 1e6,
                static_cast<double>(sizeOf(folder / "Miravel.sqlite")) / 1e6);
    std::printf("%-34s %9s %9s %9s\n", "work", "seconds", "MB", "x floor");
    std::printf("%-34s %9.2f %9.1f %9.2f\n", "backup", backupSeconds,
                static_cast<double>(sizeOf(archive)) / 1e6, backupSeconds / zipSeconds);
    std::printf("%-34s %9.2f %9.1f %9.2f\n", "backup, photos deflated at 9", deflatedSeconds,
                static_cast<double>(sizeOf(deflated)) / 1e6, deflatedSeconds / zipSeconds);
    std::printf("%-34s %9.2f %9.1f\n", "  floor: zip -9 of the files", zipSeconds,
                static_cast<double>(sizeOf(root / "floor.zip")) / 1e6);
    std::printf("%-34s %9.2f %9s %9.2f\n", "backup, verified (manual)", verifiedSeconds, "",
                verifiedSeconds / zipSeconds);
    std::printf("%-34s %9.2f %9s %9.2f\n", "automatic backup (verified, thread)", automaticSeconds,
                "", automaticSeconds / zipSeconds);
    std::printf("%-34s %9.1f ms (idle queue, same time: %.1f ms)\n", "  worst main-queue stall",
                worstStallMs, idleStallMs);
    std::printf("%-34s %9.2f\n", "  automatic / manual", automaticSeconds / verifiedSeconds);
    std::printf("%-34s %9.2f %9s %9.2f\n", "restore into a new folder", restoreSeconds, "",
                restoreSeconds / unzipSeconds);
    std::printf("%-34s %9.2f\n", "  floor: unzip of the zip", unzipSeconds);
    std::filesystem::remove_all(root);
    return 0;
}
