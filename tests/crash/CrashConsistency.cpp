// Kills a process in the middle of a backup, a restore, a store conversion or an import, again
// and again,
// and checks after each kill that the library opens, passes SQLite's integrity check, and
// holds every recipe whose save had returned before the kill.
//
//   crash_consistency [--kills N] [--seed S]      N kills per operation (50 by default)
//
// The child is this program again, run with --child OPERATION FOLDER; it writes the name of
// each recipe it saved to standard output once the save has returned.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "import/MiravelExporter.h"
#include "import/MiravelWindowController.h"
#include "ingredients/IngredientParser.h"
#include "lib/AtomicFile.h"
#include "lib/MainQueue.h"
#include "lib/NotificationCenter.h"
#include "lib/ZipArchive.h"
#include "model/Library.h"
#include "model/LibraryBackup.h"
#include "model/MiravelObjectModel.h"
#include "model/Recipe.h"
#include "model/UserFolders.h"
#include "model/UserSettings.h"
#include "store/Database.h"
#include "store/ManagedObjectContext.h"
#include "store/PersistentStoreCoordinator.h"
#include "store/StoreConversion.h"

namespace fs = std::filesystem;
using namespace miravel;

namespace {

const ManagedObjectModel& secondLayout() {
    static const ManagedObjectModel model("Miravel", 2, miravelObjectModel().entities());
    return model;
}

ModelVersions testVersions() {
    return {&secondLayout(),
            {{1,
              "ALTER TABLE \"Recipe\" ADD COLUMN \"photoHash\" TEXT;"
              "CREATE TABLE \"Bookmark\" (id INTEGER PRIMARY KEY, \"uid\" TEXT, \"title\" TEXT,"
              " \"url\" TEXT, \"orderFlag\" INTEGER, \"status\" TEXT);"
              "CREATE INDEX \"Bookmark_status\" ON \"Bookmark\" (status);"
              "CREATE INDEX \"Bookmark_uid\" ON \"Bookmark\" (uid);"}}};
}

[[noreturn]] void fail(const std::string& message) {
    std::cerr << "crash_consistency: " << message << "\n";
    std::exit(1);
}

fs::path library(const fs::path& home) {
    return home / "Miravel";
}

void saveRecipes(const fs::path& folder, const std::string& prefix, int count, bool announce) {
    auto coordinator =
        PersistentStoreCoordinator::open(folder / kStoreFileName, miravelObjectModel());
    if (!coordinator) {
        fail(coordinator.error().description);
    }
    ManagedObjectContext context(*coordinator, MergePolicy::InMemoryWins, nullptr);
    for (int i = 0; i < count; ++i) {
        auto recipe = context.insert<Recipe>();
        const std::string name = prefix + std::to_string(i);
        recipe->setName(name);
        if (auto saved = context.save(); !saved) {
            fail(saved.error().description);
        }
        if (announce) {
            std::printf("%s\n", name.c_str());
            std::fflush(stdout);
        }
    }
}

// --- The children ------------------------------------------------------------------

// Saves recipes on one thread while backups are written on another, until killed.
[[noreturn]] void childBackup(const fs::path& home) {
    std::thread backups([&] {
        for (;;) {
            auto written = writeLibraryBackup(library(home), home / "Backup.miravelbak");
            if (!written) {
                fail(written.error().description);
            }
        }
    });
    saveRecipes(library(home), "saved-", 1'000'000, true);
    backups.join();
    std::exit(0);
}

// Restores the two backups in turn, until killed.
[[noreturn]] void childRestore(const fs::path& home) {
    for (int i = 0;; ++i) {
        auto restored = restoreLibraryBackup(library(home),
                                             home / (i % 2 == 0 ? "A.miravelbak" : "B.miravelbak"),
                                             miravelModelVersions());
        if (!restored) {
            fail(restored.error().description);
        }
        // Only the latest automatic backup matters here; the others would fill the disk.
        for (const auto& entry : fs::directory_iterator(home)) {
            if (entry.path().filename().string().starts_with("Miravel Before Restore ") &&
                entry.path() != restored->previousLibrary) {
                fs::remove(entry.path());
            }
        }
    }
}

[[noreturn]] void childConversion(const fs::path& home) {
    auto converted = convertStore(library(home) / kStoreFileName, testVersions());
    if (!converted) {
        fail(converted.error().description);
    }
    std::exit(0);
}

// Imports a recipe archive the way the desktop does: the import on a thread of its own, its
// saves merged into the main context on the main queue.
[[noreturn]] void childImport(const fs::path& home) {
    NotificationCenter center;
    MainQueue& queue = MainQueue::shared();
    queue.adoptCurrentThreadAsMain();
    UserSettings settings(home / "settings.json", &center);
    Library opened(library(home), settings, IngredientParser::sharedParser(), center, queue);
    if (auto open = opened.open(); !open) {
        fail(open.error().description);
    }
    MiravelWindowController controller(opened);
    std::atomic<bool> done = false;
    std::thread worker([&] {
        auto run = controller.performImport(home / "All.miravelrecipes");
        if (run.outcome.error) {
            fail(run.outcome.error->description);
        }
        done = true;
    });
    queue.runUntil([&] { return done.load(); }, std::chrono::minutes(5));
    worker.join();
    std::exit(0);
}

// --- Checking what a kill left ------------------------------------------------------

std::string integrity(const fs::path& store) {
    auto database = Database::open(store, Database::Access::ReadWrite);
    if (!database) {
        return database.error().description;
    }
    auto check = database->prepare("PRAGMA integrity_check");
    if (!check) {
        return check.error().description;
    }
    auto row = check->step();
    return row && *row ? std::string(check->columnText(0)) : "no answer";
}

std::set<std::string> recipeNames(const fs::path& folder, const ManagedObjectModel& model) {
    auto coordinator = PersistentStoreCoordinator::open(folder / kStoreFileName, model);
    if (!coordinator) {
        fail("the library does not open: " + coordinator.error().description);
    }
    if (auto sound = (*coordinator)->checkIntegrity(); !sound) {
        fail("the library is damaged: " + sound.error().description);
    }
    ManagedObjectContext context(*coordinator, MergePolicy::InMemoryWins, nullptr);
    std::set<std::string> names;
    auto recipes = context.fetch<Recipe>();
    if (!recipes) {
        fail(recipes.error().description);
    }
    for (const auto& recipe : *recipes) {
        names.insert(recipe->name().value_or(""));
    }
    return names;
}

void checkLibrary(const fs::path& home, const std::set<std::string>& mustHold,
                  const ManagedObjectModel& model = miravelObjectModel()) {
    const fs::path store = library(home) / kStoreFileName;
    if (!fs::exists(store)) {
        fail("no store after the kill");
    }
    if (auto answer = integrity(store); answer != "ok") {
        fail("integrity check: " + answer);
    }
    auto names = recipeNames(library(home), model);
    for (const auto& name : mustHold) {
        if (!names.contains(name)) {
            fail("recipe \"" + name + "\" was saved before the kill and is gone");
        }
    }
}

// Runs the child, kills it after `delay`, and returns what it said it saved.
std::vector<std::string> runAndKill(const std::string& self, const std::string& operation,
                                    const fs::path& home, std::chrono::microseconds delay,
                                    bool& exitedFirst) {
    int out[2];
    if (::pipe(out) != 0) {
        fail("pipe");
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        ::execl(self.c_str(), self.c_str(), "--child", operation.c_str(), home.c_str(), nullptr);
        std::_Exit(127);
    }
    ::close(out[1]);
    std::this_thread::sleep_for(delay);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    exitedFirst = !(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    if (exitedFirst && WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        fail(operation + " failed in the child (status " + std::to_string(WEXITSTATUS(status)) +
             ")");
    }
    std::string said;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(out[0], buffer, sizeof buffer)) > 0) {
        said.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(out[0]);
    std::vector<std::string> names;
    std::size_t start = 0;
    // Only whole lines: a name cut off by the kill was being written, its save had returned.
    for (std::size_t end = said.find('\n'); end != std::string::npos;
         start = end + 1, end = said.find('\n', start)) {
        names.push_back(said.substr(start, end - start));
    }
    return names;
}

struct Tally {
    int kills = 0;
    int finishedFirst = 0;
};

void writePhotos(const fs::path& folder, const std::string& prefix, int count) {
    for (int i = 0; i < count; ++i) {
        if (!writeFileAtomically(folder / (prefix + std::to_string(i) + ".jpg"),
                                 std::string(20'000, static_cast<char>('a' + i % 26)))) {
            fail("photo");
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "--child") {
        const fs::path home = args[2];
        if (args[1] == "backup") {
            childBackup(home);
        } else if (args[1] == "restore") {
            childRestore(home);
        } else if (args[1] == "conversion") {
            childConversion(home);
        } else if (args[1] == "import") {
            childImport(home);
        }
        return 2;
    }
    int kills = 50;
    unsigned seed = std::random_device{}();
    for (std::size_t i = 0; i + 1 < args.size(); i += 2) {
        if (args[i] == "--kills") {
            kills = std::stoi(args[i + 1]);
        } else if (args[i] == "--seed") {
            seed = static_cast<unsigned>(std::stoul(args[i + 1]));
        }
    }
    std::cout << "seed " << seed << "\n";
    std::mt19937 random(seed);
    const std::string self = fs::canonical("/proc/self/exe").string();
    auto work = makePrivateTemporaryFolder("miravel-crash");
    if (!work) {
        fail(work.error().description);
    }
    const fs::path root = *work;

    // Backup while saving: the library holds every returned save; a backup file under its
    // name is always whole.
    Tally backup;
    const fs::path backupHome = root / "backup";
    fs::create_directories(library(backupHome));
    saveRecipes(library(backupHome), "base-", 20, false);
    writePhotos(library(backupHome), "photo", 40);
    std::set<std::string> saved;
    for (int i = 0; i < kills; ++i) {
        bool exited = false;
        std::uniform_int_distribution<int> delay(2'000, 150'000);
        for (auto& name : runAndKill(self, "backup", backupHome,
                                     std::chrono::microseconds(delay(random)), exited)) {
            saved.insert(name);
        }
        ++backup.kills;
        backup.finishedFirst += exited ? 1 : 0;
        // Every run saves names from 0 again: the last run's announcements are what count.
        checkLibrary(backupHome, saved);
        if (fs::exists(backupHome / "Backup.miravelbak")) {
            auto reader = ZipReader::open(backupHome / "Backup.miravelbak");
            if (!reader) {
                fail("a torn backup file: " + reader.error().description);
            }
            for (std::size_t entry = 0; entry < reader->entries().size(); ++entry) {
                if (!reader->read(entry)) {
                    fail("a torn backup entry " + reader->entries()[entry].name);
                }
            }
        }
        // Keep the library small so that every run is alike.
        fs::remove_all(library(backupHome));
        fs::create_directories(library(backupHome));
        saveRecipes(library(backupHome), "base-", 20, false);
        writePhotos(library(backupHome), "photo", 40);
        saved.clear();
    }

    // Restore: the library is always one of the two backups, whole.
    Tally restore;
    const fs::path restoreHome = root / "restore";
    for (const auto& [name, prefix] :
         std::vector<std::pair<std::string, std::string>>{{"A", "a-"}, {"B", "b-"}}) {
        const fs::path source = root / ("source-" + name);
        fs::create_directories(source);
        saveRecipes(source, prefix, 30, false);
        writePhotos(source, prefix, 60);
        fs::create_directories(restoreHome);
        if (!writeLibraryBackup(source, restoreHome / (name + ".miravelbak"))) {
            fail("could not make backup " + name);
        }
    }
    fs::create_directories(library(restoreHome));
    saveRecipes(library(restoreHome), "a-", 30, false);
    for (int i = 0; i < kills; ++i) {
        bool exited = false;
        std::uniform_int_distribution<int> delay(2'000, 120'000);
        runAndKill(self, "restore", restoreHome, std::chrono::microseconds(delay(random)), exited);
        ++restore.kills;
        checkLibrary(restoreHome, {});
        auto names = recipeNames(library(restoreHome), miravelObjectModel());
        std::set<std::string> a;
        std::set<std::string> b;
        for (int r = 0; r < 30; ++r) {
            a.insert("a-" + std::to_string(r));
            b.insert("b-" + std::to_string(r));
        }
        if (names != a && names != b) {
            fail("after a killed restore the library is neither backup (" +
                 std::to_string(names.size()) + " recipes)");
        }
    }

    // Conversion: the store is the original layout or the converted one, never neither.
    Tally conversion;
    const fs::path conversionHome = root / "conversion";
    auto sql = readFile(fs::path(MIRAVEL_TEST_DATA) / "model" / "earlier-layout.sql");
    if (!sql) {
        fail(sql.error().description);
    }
    for (int i = 0; i < kills; ++i) {
        fs::remove_all(conversionHome);
        fs::create_directories(library(conversionHome));
        {
            auto database = Database::open(library(conversionHome) / kStoreFileName,
                                           Database::Access::ReadWriteCreate);
            if (!database || !database->execute(*sql)) {
                fail("fixture");
            }
        }
        bool exited = false;
        std::uniform_int_distribution<int> delay(0, 250'000);
        runAndKill(self, "conversion", conversionHome, std::chrono::microseconds(delay(random)),
                   exited);
        ++conversion.kills;
        conversion.finishedFirst += exited ? 1 : 0;
        const fs::path store = library(conversionHome) / kStoreFileName;
        auto version = readStoreVersion(store);
        if (!version) {
            fail("after a killed conversion: " + version.error().description);
        }
        if (auto answer = integrity(store); answer != "ok") {
            fail("after a killed conversion, integrity check: " + answer);
        }
        if (version->modelVersion == 2) {
            checkLibrary(conversionHome, {"Leek soup", "Soda bread"}, secondLayout());
        } else if (version->modelVersion == 1) {
            // Not converted yet: converting again from here must work.
            auto converted = convertStore(store, testVersions());
            if (!converted) {
                fail("converting after a kill: " + converted.error().description);
            }
            checkLibrary(conversionHome, {"Leek soup", "Soda bread"}, secondLayout());
        } else {
            fail("after a killed conversion the store has version " +
                 std::to_string(version->modelVersion));
        }
    }

    // Import: the library opens, is sound and keeps what it held before.
    Tally import;
    const fs::path importHome = root / "import";
    {
        const fs::path source = root / "import-source";
        fs::create_directories(source);
        saveRecipes(source, "imported-", 300, false);
        NotificationCenter center;
        UserSettings settings(root / "import-settings.json", &center);
        Library opened(source, settings, IngredientParser::sharedParser(), center,
                       MainQueue::shared());
        if (!opened.open()) {
            fail("import source");
        }
        MiravelWindowController controller(opened);
        controller.populateCategoriesForExportView();
        fs::create_directories(importHome);
        if (!MiravelExporter::exportRecipesToMiravelFormat(controller.fetchRecipesForExport(0),
                                                           importHome / "All.miravelrecipes")) {
            fail("could not export the recipes to import");
        }
    }
    std::set<std::string> before;
    for (int r = 0; r < 20; ++r) {
        before.insert("base-" + std::to_string(r));
    }
    for (int i = 0; i < kills; ++i) {
        fs::remove_all(library(importHome));
        fs::create_directories(library(importHome));
        saveRecipes(library(importHome), "base-", 20, false);
        bool exited = false;
        std::uniform_int_distribution<int> delay(0, 400'000);
        runAndKill(self, "import", importHome, std::chrono::microseconds(delay(random)), exited);
        ++import.kills;
        import.finishedFirst += exited ? 1 : 0;
        checkLibrary(importHome, before);
        if (exited && recipeNames(library(importHome), miravelObjectModel()).size() != 320) {
            fail("an import that finished did not import every recipe");
        }
    }

    std::error_code ignored;
    fs::remove_all(root, ignored);
    std::cout << "backup: " << backup.kills << " kills (" << backup.finishedFirst
              << " finished first), restore: " << restore.kills
              << " kills, conversion: " << conversion.kills << " kills ("
              << conversion.finishedFirst << " finished first), import: " << import.kills
              << " kills (" << import.finishedFirst << " finished first); every library sound\n";
    return 0;
}
