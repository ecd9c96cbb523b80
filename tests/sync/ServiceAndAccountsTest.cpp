#include <httplib.h>

#include "lib/Crypto.h"
#include "lib/Gzip.h"
#include "lib/JsonParser.h"
#include "sync/SyncButtonController.h"
#include "sync/SyncController.h"
#include "sync/SyncTestSupport.h"

namespace miravel::testing {
namespace {

// A stand-in server that answers what each test needs and remembers what it was sent.
class FakeServer {
public:
    FakeServer() {
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~FakeServer() {
        m_server.stop();
        m_thread.join();
    }
    httplib::Server& server() { return m_server; }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(m_port); }

private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
};

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_device = std::make_unique<Device>(m_folder.path(), "device");
        m_device->signIn("cook@example.org", m_fake.url());
    }
    MiravelService& service() { return *m_device->m_service; }

    TemporaryFolder m_folder;
    FakeServer m_fake;
    std::unique_ptr<Device> m_device;
};

TEST_F(ServiceTest, AnswersBecomeResultsOrErrors) {
    httplib::Server& server = m_fake.server();
    server.Get("/sync/recipes/", [](const httplib::Request&, httplib::Response& response) {
        response.status = 404;
        response.set_content("<html>Not here</html>", "text/html");
    });
    server.Get("/sync/meals/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(R"({"error":{"code":3,"message":"No such account"}})",
                             "application/json");
    });
    server.Get("/sync/bookmarks/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(R"({"result":[{"uid":"b"}]})", "application/json");
    });
    server.Get("/sync/groceries/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(R"({"result":null})", "application/json");
    });
    server.Get("/sync/categories/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(R"([1,2])", "application/json");
    });

    auto missing = service().getRecipes();
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().domain, "org.miravel.Miravel.app");
    EXPECT_EQ(missing.error().code, 100);
    EXPECT_EQ(missing.error().description,
              "There was an error with your request. (HTTP status: 404)");
    auto refused = service().getMeals();
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().domain, "service");
    EXPECT_EQ(refused.error().code, 3);
    EXPECT_EQ(refused.error().description, "No such account");
    auto listed = service().getBookmarks();
    ASSERT_TRUE(listed);
    EXPECT_TRUE(listed->isArray());
    auto none = service().getGroceries();
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->isNull());
    EXPECT_FALSE(service().getCategories()) << "a body that is no object is an error";
}

TEST_F(ServiceTest, RequestsCarryCredentialsPartsAndOurUserAgent) {
    std::vector<std::string> parts;
    std::string authorization;
    std::string agent;
    std::string data;
    m_fake.server().Post("/sync/recipe/r1/", [&](const httplib::Request& request,
                                                 httplib::Response& response) {
        parts.clear();
        for (const auto& [name, file] : request.files) {
            parts.push_back(name + ":" + file.filename);
        }
        if (request.has_file("data")) {
            data = inflateGzipOrZlib(request.get_file_value("data").content).value_or("bad gzip");
        }
        authorization = request.get_header_value("Authorization");
        agent = request.get_header_value("User-Agent");
        response.set_content(R"({"result":true})", "application/json");
    });
    JsonObject recipe{{"uid", "r1"}, {"name", "Soup"}};
    ASSERT_TRUE(service().updateRecipe("r1", recipe, std::nullopt));
    EXPECT_EQ(parts, (std::vector<std::string>{"data:file"}));
    EXPECT_EQ(data, R"({"uid":"r1","name":"Soup"})");
    EXPECT_EQ(authorization, "Basic " + base64Encode(std::string("cook@example.org:") + kPassword))
        << "sent with the first request, not after a challenge";
    EXPECT_TRUE(agent.starts_with("Miravel ")) << agent;

    auto photo = m_folder / "photo.png";
    ASSERT_TRUE(writeFileAtomically(photo, "png bytes"));
    ASSERT_TRUE(service().updateRecipe("r1", recipe, photo));
    EXPECT_EQ(parts, (std::vector<std::string>{"data:file", "photo_upload:photo.png"}));
}

TEST(ServiceAddress, PlainHttpOnlyOnTheLoopback) {
    EXPECT_EQ(serviceAddressWarning("https://recipes.example.org"), "");
    EXPECT_EQ(serviceAddressWarning("http://127.0.0.1:8080"), "");
    EXPECT_EQ(serviceAddressWarning("http://localhost:8080/"), "");
    EXPECT_NE(serviceAddressWarning("http://recipes.example.org"), "");
    EXPECT_NE(serviceAddressWarning("http://127.0.0.1.example.org"), "");
    EXPECT_NE(serviceAddressWarning("ftp://recipes.example.org"), "");
}

TEST(ServiceAddress, CertificatesAreChecked) {
    // Nothing listens with a certificate there; what matters is that a TLS failure is an
    // error, never a silent success. (An https server with a self-made certificate would
    // give the certificate error.)
    TemporaryFolder folder;
    Device device(folder.path(), "device");
    device.signIn("cook@example.org", "https://127.0.0.1:1");
    EXPECT_FALSE(device.m_service->getBookmarks());
}

class AccountsTest : public SyncTest {
protected:
    void SetUp() override {
        SyncTest::SetUp();
        m_device = std::make_unique<Device>(m_folder.path(), "c");
        m_device->m_settings->setString(kServiceBaseUrlKey, m_server->url());
        m_device->m_settings->configureDefaults();
        m_controller = std::make_unique<SyncController>(*m_device->m_library, *m_device->m_service,
                                                        m_device->m_keychain);
    }
    void TearDown() override {
        m_controller.reset();
        m_device.reset();
        SyncTest::TearDown();
    }
    // Runs the main queue until the flow has answered.
    AccountAlert answer(const std::function<std::optional<AccountAlert>(AccountFlow::Done)>& start,
                        bool& succeeded) {
        std::optional<AccountAlert> outcome;
        auto refused = start([&](const AccountAlert& alert, bool ok) {
            EXPECT_TRUE(m_device->m_queue.isMainThread());
            outcome = alert;
            succeeded = ok;
        });
        if (refused) {
            succeeded = false;
            return *refused;
        }
        m_device->m_queue.runUntil([&] { return outcome.has_value(); }, std::chrono::seconds(30));
        return outcome.value_or(AccountAlert{"no answer", ""});
    }

    std::unique_ptr<Device> m_device;
    std::unique_ptr<SyncController> m_controller;
};

TEST_F(AccountsTest, CreateAccountChecksInOrderThenSignsIn) {
    AccountFlow flow(*m_controller, *m_device->m_service);
    bool ok = false;
    auto create = [&](std::string email, std::string password, std::string confirmation) {
        return answer(
            [&](AccountFlow::Done done) {
                return flow.createAccount(email, password, confirmation, std::move(done));
            },
            ok);
    };
    EXPECT_EQ(create("", "secret", "secret").message, "Please enter an email address.");
    EXPECT_EQ(create("new@example.org", "", "").message, "Please enter a password.");
    EXPECT_EQ(create("new@example.org", "five5", "other").message,
              "Passwords must be at least six characters.");
    EXPECT_EQ(create("new@example.org", "secret", "other").message, "Passwords do not match.");
    EXPECT_FALSE(m_controller->isLoggedIn());

    auto created = create("new@example.org", "secret1", "secret1");
    EXPECT_TRUE(ok);
    EXPECT_EQ(created, (AccountAlert{"Thank You", "Your account has been created."}));
    EXPECT_TRUE(m_controller->isLoggedIn());
    EXPECT_TRUE(m_controller->hasSyncTimer()) << "the schedule is automatic by default";
    EXPECT_EQ(m_device->m_settings->text(kAccountEmailKey), "new@example.org");

    auto twice = create("new@example.org", "secret1", "secret1");
    EXPECT_FALSE(ok);
    EXPECT_EQ(twice.title, "Error Creating Account");
}

TEST_F(AccountsTest, LoginLogoutAndStartUp) {
    AccountFlow flow(*m_controller, *m_device->m_service);
    bool ok = false;
    auto login = [&](std::string password) {
        return answer(
            [&](AccountFlow::Done done) {
                return flow.login("cook@example.org", password, std::move(done));
            },
            ok);
    };
    EXPECT_EQ(login("").message, "Please enter a password.");
    EXPECT_EQ(login("wrong password").title, "Error Logging In");
    EXPECT_FALSE(ok);
    EXPECT_EQ(login(kPassword), (AccountAlert{"Success", "You are now logged in."}));
    EXPECT_TRUE(ok);
    EXPECT_TRUE(m_controller->isLoggedIn());

    m_controller->logout();
    EXPECT_FALSE(m_controller->isLoggedIn());
    EXPECT_FALSE(m_controller->hasSyncTimer());
    EXPECT_FALSE(m_device->m_settings->string(kAccountEmailKey));

    // "AccountEmail" without its password: signed out, and no sync starts.
    m_device->m_settings->setString(kAccountEmailKey, "cook@example.org");
    m_controller->applicationDidStart();
    EXPECT_FALSE(m_controller->isLoggedIn());
    EXPECT_FALSE(m_controller->hasSyncTimer());
    bool opened = false;
    m_controller->setOpenCloudSyncPane([&] { opened = true; });
    m_controller->runSyncButton();
    EXPECT_TRUE(opened);
    EXPECT_FALSE(m_controller->isSyncing());
}

TEST_F(AccountsTest, ScheduleAndTheStartUpSync) {
    ASSERT_TRUE(m_controller->completeLogin("cook@example.org", kPassword));
    EXPECT_TRUE(m_controller->hasSyncTimer());
    m_controller->syncUpdateChanged("Manually");
    EXPECT_FALSE(m_controller->hasSyncTimer());
    m_controller->syncUpdateChanged("Manually");
    EXPECT_FALSE(m_controller->hasSyncTimer());
    m_controller->syncUpdateChanged("Automatically");
    EXPECT_TRUE(m_controller->hasSyncTimer());

    // Start-up: the first sync a second later, and a request while it runs is dropped.
    SyncController started(*m_device->m_library, *m_device->m_service, m_device->m_keychain);
    started.applicationDidStart();
    EXPECT_TRUE(started.isLoggedIn());
    EXPECT_FALSE(started.isSyncing());
    auto begin = std::chrono::steady_clock::now();
    m_device->m_queue.runUntil([&] { return started.isSyncing(); }, std::chrono::seconds(5));
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(900));
    EXPECT_FALSE(started.runSyncService(true)) << "dropped while one runs";
    started.waitForSync();
    EXPECT_TRUE(m_device->m_settings->string(kLastSyncedDateKey));
}

TEST_F(AccountsTest, LoggingOutStopsARunningSync) {
    ASSERT_TRUE(m_controller->completeLogin("cook@example.org", kPassword));
    for (int i = 0; i < 5; ++i) {
        m_device->addRecipe("Recipe " + std::to_string(i));
    }
    m_device->save();
    MiravelSyncService& engine = m_controller->syncService();
    engine.setProgressHandler([&](std::string_view entity) {
        if (entity == "categories") {
            m_device->m_queue.runAndWait([&] { m_controller->logout(); });
        }
    });
    ASSERT_TRUE(m_controller->runSyncService(false));
    m_controller->waitForSync();
    for (auto& recipe : m_device->all<Recipe>()) {
        EXPECT_EQ(recipe->status(), kStatusModified) << "stopped before the recipes";
    }
}

TEST_F(AccountsTest, TheSyncButtonFollowsARunAndShowsItsOutcome) {
    int changes = 0;
    SyncButtonController button(*m_controller, *m_device->m_settings, m_device->m_center,
                                [&] { ++changes; });
    EXPECT_EQ(button.view(), SyncButtonController::View{});

    // Signed out, pressing opens the Cloud Sync pane and starts nothing.
    bool opened = false;
    m_controller->setOpenCloudSyncPane([&] { opened = true; });
    button.pressed();
    EXPECT_TRUE(opened);
    EXPECT_FALSE(m_controller->isSyncing());

    // A run that fails: "Syncing..." while it runs, then the error image, and the alert
    // because it was started by hand.
    ASSERT_TRUE(m_controller->completeLogin("cook@example.org", kPassword));
    m_device->m_settings->setString(kServiceBaseUrlKey, "http://127.0.0.1:1");
    std::vector<std::string> alerts;
    m_controller->syncService().setErrorPresenter(
        [&](const std::string& description) { alerts.push_back(description); });
    bool sawSyncing = false;
    m_controller->syncService().setProgressHandler([&](std::string_view) {
        m_device->m_queue.runAndWait([&] {
            sawSyncing = !button.view().buttonVisible && button.view().indicatorVisible &&
                         button.view().statusText == "Syncing...";
        });
    });
    changes = 0;
    button.pressed();
    m_controller->waitForSync();
    m_device->m_queue.processPending();
    EXPECT_TRUE(sawSyncing);
    EXPECT_GE(changes, 2);
    EXPECT_TRUE(button.view().buttonVisible);
    EXPECT_FALSE(button.view().indicatorVisible);
    EXPECT_EQ(button.view().statusText, "");
    EXPECT_EQ(button.view().image, "sync_error_icon");
    EXPECT_EQ(button.view().pressedImage, "sync_error_icon_selected");
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0], m_device->m_settings->text(kSyncErrorKey));

    // A timed run that succeeds brings the plain image back, without an alert.
    m_device->m_settings->setString(kServiceBaseUrlKey, m_server->url());
    ASSERT_TRUE(m_controller->runSyncService(false));
    m_controller->waitForSync();
    m_device->m_queue.processPending();
    EXPECT_EQ(button.view().image, "sync_icon");
    EXPECT_EQ(button.view().pressedImage, "sync_icon_selected");
    EXPECT_EQ(alerts.size(), 1u);

    // A window made while a run is in progress shows it at once.
    ASSERT_TRUE(m_controller->runSyncService(false));
    SyncButtonController late(*m_controller, *m_device->m_settings, m_device->m_center);
    EXPECT_FALSE(late.view().buttonVisible);
    m_controller->waitForSync();
    m_device->m_queue.processPending();
    EXPECT_TRUE(late.view().buttonVisible);
}

}  // namespace
}  // namespace miravel::testing
