#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <thread>

#include "lib/DateText.h"

#include "desktop/AccountSheets.h"
#include "desktop/CategoryColumn.h"
#include "desktop/MealsPane.h"
#include "desktop/QtText.h"
#include "desktop/SettingsWindow.h"
#include "desktop/WelcomeWindow.h"
#include "library/CategoriesController.h"
#include "model/RecipeCategory.h"
#include "planner/MealPlannerDayController.h"
#include "planner/MealPlannerWeekController.h"
#include "planner/WeekCalendar.h"
#include "server/MiravelServer.h"
#include "server/PhotoFiles.h"
#include "server/Storage.h"
#include "support/DesktopTestSupport.h"
#include "sync/SyncController.h"

using namespace miravel;
using namespace miravel::desktop;
using namespace miravel::desktop::testing;

namespace {

constexpr const char* kPassword = "correct horse";

// A real sync server on 127.0.0.1, on a port of its own, over a new SQLite database.
class LocalServer {
public:
    explicit LocalServer(const std::filesystem::path& folder) {
        std::filesystem::create_directories(folder);
        auto opened = server::openStorage("sqlite:" + (folder / "server.db").string());
        if (!opened) {
            qWarning("%s", opened.error().description.c_str());
            return;
        }
        m_storage = std::move(*opened);
        m_photos = std::make_unique<server::PhotoFiles>(folder / "photos");
        server::ServerOptions options;
        options.registration = server::RegistrationPolicy::Open;
        options.passwordCost = {1, 8192};
        m_server = std::make_unique<server::MiravelServer>(options, *m_storage, *m_photos);
        auto bound = m_server->bind("127.0.0.1", 0);
        if (!bound) {
            m_server.reset();
            return;
        }
        m_port = *bound;
        m_thread = std::thread([this] { m_server->run(); });
    }
    ~LocalServer() {
        if (m_server) {
            m_server->stop();
            m_thread.join();
        }
    }
    bool running() const { return m_server != nullptr; }
    QString url() const { return QString("http://127.0.0.1:%1").arg(m_port); }
    bool createAccount(const std::string& email) {
        return static_cast<bool>(m_server->accounts().createAccount(email, kPassword));
    }
    std::size_t recipesOf(const std::string& email) {
        auto account = m_storage->findAccount(email);
        if (!account || !account->has_value()) {
            return 0;
        }
        auto recipes = m_storage->recipeStubs((*account)->id);
        return recipes ? recipes->size() : 0;
    }

private:
    std::unique_ptr<server::Storage> m_storage;
    std::unique_ptr<server::PhotoFiles> m_photos;
    std::unique_ptr<server::MiravelServer> m_server;
    std::thread m_thread;
    int m_port = 0;
};

void choose(QComboBox* menu, int index) {
    menu->setCurrentIndex(index);
    emit menu->activated(index);
}

void type(QLineEdit* field, const QString& text) {
    field->setText(text);
    emit field->editingFinished();
}

QString pageOf(SettingsWindow& window) {
    return window.cloudSyncPages()->currentWidget()->objectName();
}

}  // namespace

class SettingsWindowTest : public QObject {
    Q_OBJECT

private slots:
    void panesFollowShowPaneNumbering() {
        RunningApplication running("panes");
        QVERIFY(running.launched);
        SettingsWindow& window = running.app->showSettingsWindow(1);
        QCOMPARE(window.panes()->currentIndex(), 1);
        QVERIFY(window.toolbarItem(1)->isChecked());
        QCOMPARE(window.toolbarItem(1)->text(), QString("Cloud Sync"));
        window.toolbarItem(2)->trigger();
        QCOMPARE(window.controller().selectedPane(), std::string("grocerylist"));
        QCOMPARE(window.panes()->currentIndex(), 2);
        // The menu item reopens the window on the pane last shown.
        QCOMPARE(&running.app->showSettingsWindow(-1), &window);
        QCOMPARE(window.panes()->currentIndex(), 2);
        QCOMPARE(window.scheduleMenu()->count(), 2);
    }

    void weekStartsOnMovesThePlanner() {
        RunningApplication running("week-start");
        QVERIFY(running.launched);
        auto& meals = running.window().mealsPane();
        SettingsWindow& window = running.app->showSettingsWindow(0);
        QCOMPARE(window.weekStartMenu()->count(), 7);

        for (int day : {2, 1, 7}) {  // Monday, Sunday, Saturday
            choose(window.weekStartMenu(), day - 1);
            QCOMPARE(running.app->settings().integer(kWeekStartDayKey), std::int64_t{day});
            const WeekCalendar calendar = meals.week().calendar();
            const Timestamp first = meals.day(0).controller().date();
            QCOMPARE(calendar.weekday(first), day);
            QCOMPARE(calendar.weekday(meals.day(6).controller().date()), day == 1 ? 7 : day - 1);
            // The planner went back to the week that holds today.
            const Timestamp today = calendar.dateByMovingToBeginningOfDay(currentMoment());
            QVERIFY(first <= today && today <= meals.day(6).controller().date());
        }
    }

    void menusReachTheListsAndTextFieldsSaveOnceChanged() {
        RunningApplication running("menus");
        QVERIFY(running.launched);
        auto& context = running.context();
        for (const auto& [name, order] : {std::pair{"Soups", 0}, std::pair{"Breads", 1}}) {
            auto category = context.insert<RecipeCategory>();
            category->setName(std::string(name));
            category->setOrderFlag(order);
        }
        QVERIFY(running.save());
        auto& column = running.pane().categoryColumn().controller();
        auto names = [&] {
            QStringList shown;
            for (const auto& category : column.categories()) {
                shown << qs(category->name().value_or(""));
            }
            return shown;
        };
        QCOMPARE(names(), (QStringList{"Breads", "Soups"}));
        SettingsWindow& window = running.app->showSettingsWindow(0);
        choose(window.alphabetizeMenu(), 1);
        // The user's order, at once.
        QCOMPARE(names(), (QStringList{"Soups", "Breads"}));
        choose(window.alphabetizeMenu(), 0);
        QCOMPARE(names(), (QStringList{"Breads", "Soups"}));

        choose(window.fontSizeMenu(), 4);
        QCOMPARE(running.app->settings().text(kFontSizeKey), std::string("Extra Large"));

        type(window.homePageField(), "https://recipes.example.org/");
        QCOMPARE(running.app->settings().text(kDefaultUrlKey),
                 std::string("https://recipes.example.org/"));
        QVERIFY(!window.controller().saveSettings("https://recipes.example.org/",
                                                  ss(window.recipientField()->text())));

        // Typed but not finished: switching to another window stores it.
        window.recipientField()->setText("family@example.org");
        QEvent deactivated(QEvent::ActivationChange);
        QApplication::sendEvent(&window, &deactivated);
        QCOMPARE(running.app->settings().text(kDefaultEmailKey), std::string("family@example.org"));
    }

    void loginAgainstARealServerShowsTheSignedInPageAndSyncs() {
        LocalServer server(privateHome() / "server-login");
        QVERIFY(server.running());
        QVERIFY(server.createAccount("cook@example.org"));
        RunningApplication running("login");
        QVERIFY(running.launched);
        running.app->settings().setString(kSyncUpdateKey, "Manually");
        running.addRecipe("Lentil soup", "1 cup lentils");
        QVERIFY(running.save());
        AlertLog alerts;

        SettingsWindow& window = running.app->showSettingsWindow(1);
        QCOMPARE(pageOf(window), QString("login"));
        type(window.serverField(), server.url());
        QCOMPARE(running.app->settings().text(kServiceBaseUrlKey), ss(server.url()));
        // This computer needs no https.
        QVERIFY(window.serverWarningLabel()->isHidden());
        QVERIFY(window.passwordStorageLabel()->text().contains("memory"));

        AccountForm& form = window.loginForm();
        form.email()->setText("cook@example.org");
        form.password()->setText("wrong");
        form.submitButton()->click();
        QVERIFY(form.isBusy());
        QTRY_VERIFY_WITH_TIMEOUT(!form.isBusy(), 30000);
        QCOMPARE(alerts.texts.value(0), QString("Error Logging In"));
        QCOMPARE(pageOf(window), QString("login"));

        form.password()->setText(kPassword);
        form.submitButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(pageOf(window), QString("managesync"), 30000);
        QCOMPARE(alerts.texts.value(1), QString("Success"));
        QCOMPARE(window.accountLabel()->text(), QString("cook@example.org"));
        QVERIFY(running.app->syncController().isLoggedIn());
        QCOMPARE(window.lastSyncedLabel()->text(), QString("Never"));

        window.syncNowButton()->click();
        QCOMPARE(window.syncNowButton()->text(), QString("Syncing..."));
        QVERIFY(!window.syncNowButton()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(window.syncNowButton()->isEnabled(), 30000);
        QCOMPARE(window.syncNowButton()->text(), QString("Sync Now"));
        QCOMPARE(window.statusLabel()->text(), QString("Success"));
        QVERIFY(window.lastSyncedLabel()->text() != "Never");
        QCOMPARE(server.recipesOf("cook@example.org"), std::size_t{1});

        alerts.answer = 1;  // "Cancel"
        window.logoutButton()->click();
        QCOMPARE(pageOf(window), QString("managesync"));
        alerts.answer = 0;  // "Logout"
        window.logoutButton()->click();
        QCOMPARE(pageOf(window), QString("login"));
        QVERIFY(alerts.texts.contains("Are you sure you want to log out?"));
        QCOMPARE(alerts.texts.last(), QString("Logged Out"));
        QVERIFY(!running.app->syncController().isLoggedIn());
    }

    void welcomeAssistantCreatesAnAccountThenShowsTheMainWindow() {
        LocalServer server(privateHome() / "server-welcome");
        QVERIFY(server.running());
        RunningApplication running("welcome", true);
        QVERIFY(running.launched);
        // The welcome window comes first.
        QVERIFY(running.app->mainWindow() == nullptr);
        WelcomeWindow* welcome = running.app->welcomeWindow();
        QVERIFY(welcome != nullptr);
        QVERIFY(running.app->settings().boolean(kWelcomeDisplayedKey));
        AlertLog alerts;

        QVERIFY(!welcome->backButton()->isEnabled());
        welcome->nextButton()->click();
        QCOMPARE(welcome->titleLabel()->text(), QString("Cloud Sync"));
        type(welcome->serverField(), server.url());
        welcome->createAccountButton()->click();
        AccountSheet* sheet = welcome->sheet();
        QVERIFY(sheet != nullptr);
        AccountForm& form = sheet->form();
        form.email()->setText("new@example.org");
        form.password()->setText("five5");
        form.confirmation()->setText("five5");
        form.submitButton()->click();
        QCOMPARE(alerts.texts.value(0), QString("Error"));
        // A refused check keeps the sheet.
        QVERIFY(welcome->sheet() != nullptr);
        form.password()->setText("secret1");
        form.confirmation()->setText("secret1");
        form.submitButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(welcome->sheet() == nullptr, 30000);
        QCOMPARE(alerts.texts.value(1), QString("Thank You"));
        QCOMPARE(welcome->titleLabel()->text(), QString("You're All Set"));
        QCOMPARE(welcome->nextButton()->text(), QString("Done"));
        QVERIFY(running.app->syncController().isLoggedIn());

        QPointer<WelcomeWindow> gone(welcome);
        welcome->nextButton()->click();
        QVERIFY(running.app->mainWindow() != nullptr);
        QVERIFY(running.app->mainWindow()->isVisible());
        QTRY_VERIFY(gone.isNull());
    }
};

MIRAVEL_DESKTOP_TEST_MAIN(SettingsWindowTest)
#include "SettingsWindowTest.moc"
