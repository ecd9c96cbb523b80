// The sync engine against miravel-server (SQLite) on loopback, beside the same requests sent
// by the curl program in the same run:
//
//   bench_sync [--recipes 10000] [--upload 5000] [--disk]
//
// 1. first upload of `--upload` recipes, every second one with a photo, from a library to an
//    empty account; baseline: one curl process posting the same parts (a config file with one
//    entry per recipe, kept-alive connections);
// 2. download of them to a new library; baseline: curl fetching the list and every recipe;
// 3. a no-change sync of a library of `--recipes` recipes; baseline: curl fetching the five
//    lists in one process. Also counts the sync's GET requests (five expected).
//
// Libraries and the server's database live on /dev/shm unless --disk: the figures are then
// the programs' own work, not the disk's flushes.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "ingredients/IngredientParser.h"
#include "lib/ApplicationIdentifier.h"
#include "lib/AtomicFile.h"
#include "lib/Gzip.h"
#include "lib/JsonWriter.h"
#include "lib/Log.h"
#include "lib/MainQueue.h"
#include "lib/NotificationCenter.h"
#include "model/Library.h"
#include "model/MemoryKeychain.h"
#include "model/Recipe.h"
#include "model/UserSettings.h"
#include "server/MiravelServer.h"
#include "server/PhotoFiles.h"
#include "server/Storage.h"
#include "store/ManagedObjectContext.h"
#include "sync/MiravelService.h"
#include "sync/MiravelSyncService.h"

using namespace miravel;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kPassword = "bench password";

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double runCommand(const std::string& command) {
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) {
        fmt::print(stderr, "failed: {}\n", command);
        std::exit(1);
    }
    return secondsSince(start);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string photoBytes(int index) {
    // A PNG signature is all the server checks; the rest stands for about 20 KB of image.
    return std::string("\x89PNG\r\n\x1a\n", 8) + fmt::format("photo {} ", index) +
           std::string(20000, static_cast<char>('a' + index % 26));
}

class Device {
public:
    Device(const std::filesystem::path& folder, const std::string& name, const std::string& email,
           const std::string& url) {
        m_settings = std::make_unique<UserSettings>(folder / (name + ".json"), &m_center);
        m_library = std::make_unique<Library>(folder / name, *m_settings,
                                              IngredientParser::sharedParser(), m_center, m_queue);
        if (auto opened = m_library->open(); !opened) {
            fmt::print(stderr, "{}\n", opened.error().description);
            std::exit(1);
        }
        m_service = std::make_unique<MiravelService>(*m_settings, m_keychain, m_queue);
        m_engine = std::make_unique<MiravelSyncService>(*m_library, *m_service);
        m_settings->setString(kAccountEmailKey, email);
        m_settings->setString(kServiceBaseUrlKey, url);
        (void)m_keychain.addGenericKeychainItemForService(kApplicationIdentifier, email, kPassword);
        m_service->setCredentials();
        m_library->setLoggedIn(true);
    }

    double sync() {
        const auto start = Clock::now();
        m_engine->isRunning = true;
        std::thread worker([this] { m_engine->runSync(false); });
        m_queue.runUntil([this] { return !m_engine->isRunning.load(); }, std::chrono::hours(1));
        worker.join();
        m_queue.processPending();
        const double seconds = secondsSince(start);
        if (auto error = m_settings->string(kSyncErrorKey)) {
            fmt::print(stderr, "sync failed: {}\n", *error);
            std::exit(1);
        }
        return seconds;
    }

    void addRecipes(int count, int firstIndex, bool photos) {
        ManagedObjectContext& context = *m_library->mainContext();
        for (int i = firstIndex; i < firstIndex + count; ++i) {
            auto recipe = context.insert<Recipe>();
            recipe->setName(fmt::format("Recipe {}", i));
            recipe->setIngredients(
                "2 onions, chopped\n500 g beef\n1 l stock\n2 tablespoons olive oil\nsalt");
            recipe->setDirections(std::string(600, 'd'));
            recipe->setServings("4");
            if (photos && i % 2 == 0) {
                const std::string name = recipe->uid() + ".png";
                (void)writeFileAtomically(*recipe->libraryFolder() / name, photoBytes(i));
                recipe->setPhoto(name);
            }
            recipe->setModified();
        }
        if (auto saved = context.save(); !saved) {
            fmt::print(stderr, "{}\n", saved.error().description);
            std::exit(1);
        }
    }

    std::vector<std::shared_ptr<Recipe>> recipes() {
        auto found = m_library->mainContext()->fetch<Recipe>();
        return found ? *found : std::vector<std::shared_ptr<Recipe>>{};
    }

    NotificationCenter m_center;
    MainQueue m_queue;
    MemoryKeychain m_keychain;
    std::unique_ptr<UserSettings> m_settings;
    std::unique_ptr<Library> m_library;
    std::unique_ptr<MiravelService> m_service;
    std::unique_ptr<MiravelSyncService> m_engine;
};

}  // namespace

int main(int argc, char** argv) {
    int recipes = 10000;
    int upload = 5000;
    bool disk = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--disk") {
            disk = true;
        } else if (i + 1 < argc && argument == "--recipes") {
            recipes = std::atoi(argv[++i]);
        } else if (i + 1 < argc && argument == "--upload") {
            upload = std::atoi(argv[++i]);
        }
    }
    setLogSink([](std::string_view line) {
        if (line.find(" 200 ") == std::string_view::npos) {
            fmt::print(stderr, "{}\n", line);
        }
    });
    const std::filesystem::path base = !disk && std::filesystem::is_directory("/dev/shm")
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    const auto folder = base / fmt::format("miravel-bench-sync-{}", ::getpid());
    std::filesystem::create_directories(folder);
    struct Cleanup {
        std::filesystem::path path;
        ~Cleanup() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    } cleanup{folder};

    auto storage = server::openStorage("sqlite:" + (folder / "server.db").string());
    if (!storage) {
        fmt::print(stderr, "{}\n", storage.error().description);
        return 1;
    }
    server::PhotoFiles photos(folder / "photos");
    server::ServerOptions options;
    options.registration = server::RegistrationPolicy::Closed;
    options.threads = 8;
    server::MiravelServer server(options, **storage, photos);
    for (const char* email : {"upload@example.org", "library@example.org", "curl@example.org"}) {
        if (!server.accounts().createAccount(email, kPassword)) {
            return 1;
        }
    }
    auto port = server.bind("127.0.0.1", 0);
    if (!port) {
        return 1;
    }
    std::thread serving([&] { server.run(); });
    const std::string url = fmt::format("http://127.0.0.1:{}", *port);
    fmt::print("folder {}\n", folder.string());

    // 1. First upload, and curl posting the same parts to an account of its own.
    Device uploader(folder, "uploader", "upload@example.org", url);
    uploader.addRecipes(upload, 0, true);
    const double firstUpload = uploader.sync();
    {
        const auto parts = folder / "curl-parts";
        std::filesystem::create_directories(parts);
        std::ofstream config(folder / "upload.curl");
        bool first = true;
        for (const auto& recipe : uploader.recipes()) {
            config << (std::exchange(first, false) ? "" : "next\n");
            const auto data = parts / (recipe->uid() + ".gz");
            (void)writeFileAtomically(
                data,
                gzipCompress(JsonWriter::write(JsonValue(recipe->objectDictionaryWithHash()))));
            config << fmt::format(
                "url = \"{}/sync/recipe/{}/\"\nuser = \"curl@example.org:{}\"\n"
                "form = \"data=@{};filename=file;type=application/octet-stream\"\n",
                url, recipe->uid(), kPassword, data.string());
            if (auto photo = recipe->photoPath()) {
                config << fmt::format("form = \"photo_upload=@{};type=image/png\"\n",
                                      photo->string());
            }
            config << "output = \"/dev/null\"\n";
        }
    }
    const double curlUpload =
        runCommand(fmt::format("curl -s -K {} > /dev/null", (folder / "upload.curl").string()));
    fmt::print("first upload of {} recipes ({} photos): ours {:.2f} s, curl {:.2f} s, {:.2f}x\n",
               upload, upload / 2, firstUpload, curlUpload, firstUpload / curlUpload);

    // 2. Download to a new library, and curl fetching the list and every recipe.
    Device downloader(folder, "downloader", "upload@example.org", url);
    const double download = downloader.sync();
    {
        std::ofstream config(folder / "download.curl");
        config << fmt::format(
            "url = \"{}/sync/recipes/\"\nuser = \"upload@example.org:{}\"\noutput = "
            "\"/dev/null\"\n",
            url, kPassword);
        for (const auto& recipe : uploader.recipes()) {
            config << fmt::format(
                "next\nurl = \"{}/sync/recipe/{}/\"\nuser = \"upload@example.org:{}\"\noutput = "
                "\"/dev/null\"\n",
                url, recipe->uid(), kPassword);
        }
    }
    const double curlDownload =
        runCommand(fmt::format("curl -s -K {} > /dev/null", (folder / "download.curl").string()));
    fmt::print(
        "download of {} recipes to a new library: ours {:.2f} s (with photos), curl {:.2f} s "
        "(recipes only), {:.2f}x\n",
        upload, download, curlDownload, download / curlDownload);

    // 3. A no-change sync of a large library.
    Device library(folder, "library", "library@example.org", url);
    library.addRecipes(recipes, 0, false);
    const double libraryUpload = library.sync();
    fmt::print("(first upload of the {}-recipe library: {:.1f} s)\n", recipes, libraryUpload);
    std::vector<double> ours;
    std::vector<double> curl;
    std::size_t gets = 0;
    std::string lists;
    for (const char* path : {"bookmarks", "groceries", "categories", "recipes", "meals"}) {
        lists += fmt::format(" -o /dev/null {}/sync/{}/", url, path);
    }
    for (int round = 0; round < 5; ++round) {
        const auto before = library.m_service->getCount();
        const auto posts = library.m_service->postCount();
        ours.push_back(library.sync());
        gets = library.m_service->getCount() - before;
        if (library.m_service->postCount() != posts) {
            fmt::print(stderr, "a no-change sync sent something\n");
        }
        curl.push_back(runCommand(
            fmt::format("curl -s --compressed -u library@example.org:'{}'{}", kPassword, lists)));
    }
    fmt::print(
        "no-change sync of {} recipes: ours {:.3f} s, curl {:.3f} s, {:.2f}x (medians of 5); "
        "{} GET requests\n",
        recipes, median(ours), median(curl), median(ours) / median(curl), gets);

    server.stop();
    serving.join();
    return 0;
}
