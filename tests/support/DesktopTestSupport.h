#pragma once

#include <stdlib.h>

#include <QApplication>
#include <QStringList>
#include <QTableView>
#include <QtTest>
#include <filesystem>
#include <memory>
#include <string>

#include "desktop/Alerts.h"
#include "desktop/DesktopApplication.h"
#include "desktop/MainWindow.h"
#include "desktop/RecipesPane.h"
#include "lib/MainQueue.h"
#include "lib/NotificationCenter.h"
#include "model/MemoryKeychain.h"
#include "model/Recipe.h"
#include "model/UserSettings.h"
#include "store/ManagedObjectContext.h"

namespace miravel::desktop::testing {

// Every run gets a private home: settings, runtime folder and caches never touch the user's.
inline std::filesystem::path privateHome() {
    static const std::filesystem::path home = [] {
        char pattern[] = "/tmp/miravel-desktop-test-XXXXXX";
        std::filesystem::path made = ::mkdtemp(pattern);
        ::setenv("HOME", made.c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", made.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (made / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (made / "data").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (made / "cache").c_str(), 1);
        return made;
    }();
    return home;
}

// The alerts shown, and the button each answers with (the first, unless told).
struct AlertLog {
    QStringList texts;
    int answer = 0;
    AlertLog() {
        setAlertPresenter([this](QWidget*, const AlertRequest& request) {
            texts << request.text;
            return answer;
        });
    }
    ~AlertLog() { setAlertPresenter({}); }
};

// A running application over a new library in its own folder.
class RunningApplication {
public:
    // Not the first start unless asked: the welcome window would stand in for the main one.
    explicit RunningApplication(const std::string& name, bool firstStart = false) {
        m_folder = privateHome() / name;
        std::filesystem::remove_all(m_folder);
        std::filesystem::create_directories(m_folder);
        m_settings = std::make_unique<UserSettings>(m_folder / "Settings.json",
                                                    &NotificationCenter::defaultCenter());
        // The application object's own tests cover the automatic backups; here they would
        // only add a thread to every window test.
        m_settings->setBoolean(kAutomaticBackupsKey, false);
        m_settings->setBoolean(kWelcomeDisplayedKey, !firstStart);
        app = std::make_unique<DesktopApplication>(m_folder / "Library", *m_settings, m_keychain,
                                                   NotificationCenter::defaultCenter(),
                                                   MainQueue::shared());
        launched = app->launch();
    }
    ~RunningApplication() {
        app.reset();
        std::filesystem::remove_all(m_folder);
    }
    MainWindow& window() { return *app->mainWindow(); }
    RecipesPane& pane() { return window().recipesPane(); }
    ManagedObjectContext& context() { return app->context(); }
    const std::filesystem::path& folder() const { return m_folder; }
    MemoryKeychain& keychain() { return m_keychain; }
    UserSettings& settings() { return *m_settings; }

    std::shared_ptr<Recipe> addRecipe(const std::string& name,
                                      const std::string& ingredients = {}) {
        auto recipe = context().insert<Recipe>();
        recipe->setName(name);
        if (!ingredients.empty()) {
            recipe->setIngredients(ingredients);
        }
        recipe->setModified();
        return recipe;
    }
    bool save() {
        bool saved = static_cast<bool>(context().save());
        MainQueue::shared().processPending();
        QCoreApplication::processEvents();
        return saved;
    }
    // The names the table shows, top to bottom.
    QStringList shownNames() {
        QStringList names;
        auto& model = *pane().table()->model();
        for (int row = 0; row < model.rowCount(); ++row) {
            names << model.data(model.index(row, 0)).toString();
        }
        return names;
    }

    std::unique_ptr<DesktopApplication> app;
    bool launched = false;

private:
    std::filesystem::path m_folder;
    std::unique_ptr<UserSettings> m_settings;
    MemoryKeychain m_keychain;
};

}  // namespace miravel::desktop::testing

// A Qt Test main that sets up the private home before the application object exists.
#define MIRAVEL_DESKTOP_TEST_MAIN(TestClass)                     \
    int main(int argc, char** argv) {                            \
        miravel::desktop::testing::privateHome();                \
        miravel::MainQueue::shared().adoptCurrentThreadAsMain(); \
        QApplication app(argc, argv);                            \
        QApplication::setQuitOnLastWindowClosed(false);          \
        TestClass test;                                          \
        return QTest::qExec(&test, argc, argv);                  \
    }
