#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ingredients/IngredientParser.h"
#include "lib/ApplicationIdentifier.h"
#include "lib/AtomicFile.h"
#include "lib/JsonWriter.h"
#include "lib/MainQueue.h"
#include "lib/NotificationCenter.h"
#include "model/Bookmark.h"
#include "model/GroceryListItem.h"
#include "model/Library.h"
#include "model/Meal.h"
#include "model/MemoryKeychain.h"
#include "model/Recipe.h"
#include "model/RecipeCategory.h"
#include "model/SyncedObject.h"
#include "model/UserSettings.h"
#include "server/MiravelServer.h"
#include "server/PhotoFiles.h"
#include "server/ServerFixture.h"
#include "server/Storage.h"
#include "store/ManagedObjectContext.h"
#include "support/TemporaryFolder.h"
#include "sync/MiravelService.h"
#include "sync/MiravelSyncService.h"

namespace miravel::testing {

inline constexpr const char* kPassword = "correct horse";

// A real sync server on 127.0.0.1 over a fresh SQLite database; its storage can be made to
// fail writes.
class SyncServer {
public:
    explicit SyncServer(const std::filesystem::path& folder) {
        std::filesystem::create_directories(folder);
        auto opened = server::openStorage("sqlite:" + (folder / "server.db").string());
        EXPECT_TRUE(opened) << opened.error().description;
        m_storage = std::move(*opened);
        m_faulty = std::make_unique<server::testing::FaultyStorage>(*m_storage);
        m_photos = std::make_unique<server::PhotoFiles>(folder / "photos");
        start(0);
    }
    ~SyncServer() { stop(); }

    void start(int port) {
        server::ServerOptions options;
        options.registration = server::RegistrationPolicy::Open;
        options.threads = 8;
        options.passwordCost = {1, 8192};
        m_server = std::make_unique<server::MiravelServer>(options, *m_faulty, *m_photos);
        auto bound = m_server->bind("127.0.0.1", port);
        EXPECT_TRUE(bound) << bound.error().description;
        m_port = bound ? *bound : 0;
        m_thread = std::thread([this] { m_server->run(); });
    }
    void stop() {
        if (m_server) {
            m_server->stop();
            m_thread.join();
            m_server.reset();
        }
    }
    // The same address again, as a server restarted by its operator.
    void restart() {
        stop();
        start(m_port);
    }
    void createAccount(const std::string& email) {
        auto made = m_server->accounts().createAccount(email, kPassword);
        EXPECT_TRUE(made);
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    server::testing::FaultyStorage& storage() { return *m_faulty; }

private:
    std::unique_ptr<server::Storage> m_storage;
    std::unique_ptr<server::testing::FaultyStorage> m_faulty;
    std::unique_ptr<server::PhotoFiles> m_photos;
    std::unique_ptr<server::MiravelServer> m_server;
    std::thread m_thread;
    int m_port = 0;
};

// One computer: its settings, keychain, library, service client and sync engine.
class Device {
public:
    Device(const std::filesystem::path& folder, const std::string& name) {
        m_settings = std::make_unique<UserSettings>(folder / (name + ".json"), &m_center);
        m_library = std::make_unique<Library>(folder / name, *m_settings,
                                              IngredientParser::sharedParser(), m_center, m_queue);
        auto opened = m_library->open();
        EXPECT_TRUE(opened) << opened.error().description;
        m_service = std::make_unique<MiravelService>(*m_settings, m_keychain, m_queue);
        m_engine = std::make_unique<MiravelSyncService>(*m_library, *m_service);
    }

    void signIn(const std::string& email, const std::string& url) {
        m_settings->setString(kAccountEmailKey, email);
        m_settings->setString(kServiceBaseUrlKey, url);
        ASSERT_TRUE(
            m_keychain.addGenericKeychainItemForService(kApplicationIdentifier, email, kPassword));
        m_service->setCredentials();
        m_library->setLoggedIn(true);
    }

    // One run on a thread of its own while this thread keeps the main queue going, as the
    // application has it. Gives the error text of the run, empty on success.
    std::string sync() {
        m_engine->isRunning = true;
        std::thread worker([this] { m_engine->runSync(false); });
        m_queue.runUntil([this] { return !m_engine->isRunning.load(); }, std::chrono::minutes(2));
        worker.join();
        m_queue.processPending();
        return m_settings->text(kSyncErrorKey);
    }

    ManagedObjectContext& main() { return *m_library->mainContext(); }
    void save() {
        auto saved = main().save();
        ASSERT_TRUE(saved) << saved.error().description;
    }

    template <typename T>
    std::vector<std::shared_ptr<T>> all() {
        auto found = main().fetch<T>();
        EXPECT_TRUE(found);
        return found ? *found : std::vector<std::shared_ptr<T>>{};
    }
    template <typename T>
    std::vector<std::shared_ptr<T>> live() {
        auto found = main().fetch<T>(livePredicate());
        EXPECT_TRUE(found);
        return found ? *found : std::vector<std::shared_ptr<T>>{};
    }
    template <typename T>
    std::shared_ptr<T> byUid(const std::string& uid) {
        for (auto& object : all<T>()) {
            if (object->uid() == uid) {
                return object;
            }
        }
        return nullptr;
    }

    std::shared_ptr<Recipe> addRecipe(const std::string& name) {
        auto recipe = main().insert<Recipe>();
        recipe->setName(name);
        recipe->setIngredients("1 cup flour\n2 eggs");
        recipe->setModified();
        return recipe;
    }
    // A photo the server takes (PNG by its signature).
    void setPhoto(Recipe& recipe, const std::string& variant) {
        std::string name = recipe.uid() + "-" + variant + ".png";
        std::string bytes = std::string("\x89PNG\r\n\x1a\n", 8) + "photo " + variant;
        ASSERT_TRUE(writeFileAtomically(*recipe.libraryFolder() / name, bytes));
        recipe.setPhoto(name);
        recipe.setModified();
    }

    // Each live object's dictionary by entity and uid: what two devices in step agree on.
    std::map<std::string, std::map<std::string, std::string>> snapshot() {
        std::map<std::string, std::map<std::string, std::string>> state;
        auto add = [&](const std::string& entity, const auto& objects) {
            for (const auto& object : objects) {
                state[entity][object->uid()] =
                    JsonWriter::write(JsonValue(*object->objectDictionary()));
            }
        };
        add("Bookmark", live<Bookmark>());
        add("GroceryListItem", live<GroceryListItem>());
        add("RecipeCategory", live<RecipeCategory>());
        add("Meal", live<Meal>());
        for (const auto& recipe : live<Recipe>()) {
            std::string photo;
            if (auto path = recipe->photoPath()) {
                photo = readFile(*path).value_or("unreadable");
            }
            state["Recipe"][recipe->uid()] =
                JsonWriter::write(JsonValue(*recipe->objectDictionary())) + " photo:" + photo;
        }
        return state;
    }

    NotificationCenter m_center;
    MainQueue m_queue;
    MemoryKeychain m_keychain;
    std::unique_ptr<UserSettings> m_settings;
    std::unique_ptr<Library> m_library;
    std::unique_ptr<MiravelService> m_service;
    std::unique_ptr<MiravelSyncService> m_engine;
};

// A server and two computers signed in to one account on it.
class SyncTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_server = std::make_unique<SyncServer>(m_folder / "server");
        m_server->createAccount("cook@example.org");
        m_a = std::make_unique<Device>(m_folder.path(), "a");
        m_b = std::make_unique<Device>(m_folder.path(), "b");
        m_a->signIn("cook@example.org", m_server->url());
        m_b->signIn("cook@example.org", m_server->url());
    }
    void TearDown() override {
        m_a.reset();
        m_b.reset();
        m_server.reset();
    }

    TemporaryFolder m_folder;
    std::unique_ptr<SyncServer> m_server;
    std::unique_ptr<Device> m_a;
    std::unique_ptr<Device> m_b;
};

}  // namespace miravel::testing
