#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <random>
#include <set>

#include "sync/SyncTestSupport.h"

namespace miravel::testing {
namespace {

// A proxy on 127.0.0.1 in front of the server. It passes everything through, except that the
// first request whose text holds `cutAt` reaches the server whole, and when the server starts
// to answer it both connections are closed: the server did the work, the client never hears.
class CuttingProxy {
public:
    CuttingProxy(int serverPort, std::string cutAt)
        : m_serverPort(serverPort), m_cutAt(std::move(cutAt)) {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(m_listener, 16), 0);
        socklen_t length = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_accepting = std::thread([this] { accept(); });
    }
    ~CuttingProxy() {
        m_stopping = true;
        ::shutdown(m_listener, SHUT_RDWR);
        ::close(m_listener);
        m_accepting.join();
        for (auto& relay : m_relays) {
            relay.join();
        }
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    int cuts() const { return m_cuts.load(); }

private:
    void accept() {
        while (!m_stopping) {
            int client = ::accept(m_listener, nullptr, nullptr);
            if (client < 0) {
                return;
            }
            m_relays.emplace_back([this, client] { relay(client); });
        }
    }

    void relay(int client) {
        int server = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(m_serverPort));
        if (::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(server);
            ::close(client);
            return;
        }
        bool armed = false;
        std::string seen;
        char buffer[65536];
        while (!m_stopping) {
            pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            if (::poll(fds, 2, 100) <= 0) {
                continue;
            }
            if (fds[0].revents != 0) {
                ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
                if (got <= 0 ||
                    ::send(server, buffer, static_cast<std::size_t>(got), MSG_NOSIGNAL) != got) {
                    break;
                }
                if (m_cuts == 0 && !armed) {
                    seen.append(buffer, static_cast<std::size_t>(got));
                    armed = seen.find(m_cutAt) != std::string::npos;
                    seen.erase(0, seen.size() > m_cutAt.size() ? seen.size() - m_cutAt.size() : 0);
                }
            }
            if (fds[1].revents != 0) {
                if (armed && m_cuts++ == 0) {
                    break;  // the server answers: the client is left without it
                }
                ssize_t got = ::recv(server, buffer, sizeof buffer, 0);
                if (got <= 0 ||
                    ::send(client, buffer, static_cast<std::size_t>(got), MSG_NOSIGNAL) != got) {
                    break;
                }
            }
        }
        ::close(server);
        ::close(client);
    }

    int m_serverPort;
    std::string m_cutAt;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_cuts{0};
    std::thread m_accepting;
    std::vector<std::thread> m_relays;
};

class SyncFaultTest : public SyncTest {
protected:
    void addWork(Device& device, int recipes) {
        for (int i = 0; i < recipes; ++i) {
            device.addRecipe("Recipe " + std::to_string(i));
        }
        auto meal = device.main().insert<Meal>();
        meal->setName("Dinner out");
        meal->setDate(parseDateText("2014-03-09 19:00:00"));
        device.save();
    }
    static std::size_t countWithStatus(Device& device, const std::string& status) {
        std::size_t count = 0;
        for (auto& recipe : device.all<Recipe>()) {
            count += recipe->status() == status;
        }
        for (auto& meal : device.all<Meal>()) {
            count += meal->status() == status;
        }
        return count;
    }
};

TEST_F(SyncFaultTest, ServerStoppedInTheMiddleOfARun) {
    addWork(*m_a, 5);
    m_a->m_engine->setProgressHandler([this](std::string_view entity) {
        if (entity == "recipes") {
            m_server->stop();
        }
    });
    std::string error = m_a->sync();
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(m_a->m_settings->string(kLastSyncAttemptKey));
    EXPECT_EQ(countWithStatus(*m_a, kStatusModified), 6u) << "nothing is marked as sent";

    m_a->m_engine->setProgressHandler({});
    m_server->start(0);
    // Same account, but the address changed: the statuses stay valid either way.
    m_a->signIn("cook@example.org", m_server->url());
    m_b->signIn("cook@example.org", m_server->url());
    ASSERT_EQ(m_a->sync(), "");
    EXPECT_EQ(countWithStatus(*m_a, kStatusModified), 0u);
    EXPECT_FALSE(m_a->m_settings->string(kSyncErrorKey));
    ASSERT_EQ(m_b->sync(), "");
    EXPECT_EQ(m_a->snapshot(), m_b->snapshot());
}

TEST_F(SyncFaultTest, AFailedRecipeUploadKeepsEveryStatusAndStopsTheMeals) {
    addWork(*m_a, 3);
    m_server->storage().failRecipeWrites = true;
    std::string error = m_a->sync();
    EXPECT_EQ(error, "There was an error with your request. (HTTP status: 500)");
    ASSERT_TRUE(m_a->m_engine->lastError());
    EXPECT_EQ(m_a->m_engine->lastError()->code, kStatusErrorCode);
    EXPECT_EQ(countWithStatus(*m_a, kStatusModified), 4u);

    m_server->storage().failRecipeWrites = false;
    ASSERT_EQ(m_a->sync(), "");
    EXPECT_EQ(countWithStatus(*m_a, kStatusModified), 0u);
    ASSERT_EQ(m_b->sync(), "");
    EXPECT_EQ(m_a->snapshot(), m_b->snapshot());
}

TEST_F(SyncFaultTest, AGroceryUploadFailureSkipsTheLaterEntities) {
    auto item = m_a->main().insert<GroceryListItem>();
    item->setName("milk");
    item->setAisle("Dairy");
    auto category = m_a->main().insert<RecipeCategory>();
    category->setName("Breakfast");
    m_a->save();
    m_server->storage().failEntityWrites = true;
    EXPECT_FALSE(m_a->sync().empty());
    EXPECT_EQ(item->status(), kStatusModified);
    m_server->storage().failEntityWrites = false;
    // The categories were never asked for: b sees none.
    ASSERT_EQ(m_b->sync(), "");
    EXPECT_TRUE(m_b->live<RecipeCategory>().empty());
    ASSERT_EQ(m_a->sync(), "");
    ASSERT_EQ(m_b->sync(), "");
    EXPECT_EQ(m_b->live<RecipeCategory>().size(), 1u);
    EXPECT_EQ(m_b->live<GroceryListItem>().size(), 1u);
}

// The request reached the server and the server did what it asked, but the answer never
// came back: the run fails with the transport's message, nothing is marked as sent, and the
// next run finds the server already holding the work and completes it without a copy.
TEST_F(SyncFaultTest, AConnectionCutAfterTheRequestWasSentLosesNothing) {
    const int serverPort = std::stoi(m_server->url().substr(m_server->url().rfind(':') + 1));
    for (const char* cutAt : {"POST /sync/recipe/", "POST /sync/meals/"}) {
        SCOPED_TRACE(cutAt);
        CuttingProxy proxy(serverPort, cutAt);
        auto device = std::make_unique<Device>(m_folder.path(), std::string("cut") + cutAt[12]);
        device->signIn("cook@example.org", proxy.url());
        addWork(*device, 3);
        const std::size_t before = countWithStatus(*device, kStatusModified);

        std::string error = device->sync();
        EXPECT_EQ(proxy.cuts(), 1);
        EXPECT_FALSE(error.empty());
        ASSERT_TRUE(device->m_engine->lastError());
        EXPECT_EQ(error, device->m_engine->lastError()->description);
        EXPECT_TRUE(device->m_settings->string(kLastSyncAttemptKey));
        // The recipe whose answer was lost, and everything after it, are still to send.
        const std::size_t left = countWithStatus(*device, kStatusModified);
        EXPECT_GE(left, 1u);
        EXPECT_LE(left, before);

        ASSERT_EQ(device->sync(), "");
        EXPECT_EQ(countWithStatus(*device, kStatusModified), 0u);
        EXPECT_FALSE(device->m_settings->string(kSyncErrorKey));
        ASSERT_EQ(m_b->sync(), "");
        EXPECT_EQ(device->snapshot(), m_b->snapshot());
    }
    // Both devices' work, once each.
    EXPECT_EQ(m_b->live<Recipe>().size(), 6u);
    EXPECT_EQ(m_b->live<Meal>().size(), 2u);
}

// A server that answers nothing in time, and one whose answers are not the service's.
TEST_F(SyncFaultTest, ASlowOrWrongServerFailsTheRunAndTheNextOneCompletes) {
    httplib::Server slow;
    slow.Get("/sync/bookmarks/", [](const httplib::Request&, httplib::Response& response) {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        response.set_content("{\"result\":[]}", "application/json");
    });
    slow.Get("/sync/groceries/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html>not the service</html>", "text/html");
    });
    int port = slow.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { slow.listen_after_bind(); });
    addWork(*m_a, 2);
    m_a->signIn("cook@example.org", "http://127.0.0.1:" + std::to_string(port));
    m_a->m_service->setTimeout(std::chrono::milliseconds(300));
    EXPECT_EQ(m_a->sync(), "The request timed out.");
    ASSERT_TRUE(m_a->m_engine->lastError());
    EXPECT_EQ(m_a->m_engine->lastError()->code, static_cast<int>(HttpErrorCode::TimedOut));
    EXPECT_EQ(countWithStatus(*m_a, kStatusModified), 3u);
    slow.stop();
    serving.join();

    m_a->m_service->setTimeout(std::chrono::seconds(30));
    m_a->signIn("cook@example.org", m_server->url());
    ASSERT_EQ(m_a->sync(), "");
    EXPECT_EQ(countWithStatus(*m_a, kStatusModified), 0u);
}

// Two devices, one server, random edits on either side with syncs in random order: after
// both have synced twice they hold the same live objects, and nothing that was never deleted
// is lost. A fixed seed in the suite; SYNC_SEED=n picks another sequence by hand, and every
// failure names the seed that made it.
TEST_F(SyncFaultTest, TwoDevicesConverge) {
    unsigned seed = 20141209;
    if (const char* text = std::getenv("SYNC_SEED")) {
        seed = static_cast<unsigned>(std::stoul(text));
    }
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    std::set<std::string> created;
    std::set<std::string> deleted;
    // The same for the entities whose objects go only when deleted themselves (meals also go
    // with their recipe).
    std::map<std::string, std::set<std::string>> made;
    std::map<std::string, std::set<std::string>> gone;
    int serial = 0;

    auto edit = [&](Device& device) {
        auto recipes = device.live<Recipe>();
        switch (pick(12)) {
            case 0:
            case 1: {
                auto recipe = device.addRecipe("Recipe " + std::to_string(++serial));
                if (pick(3) == 0) {
                    device.setPhoto(*recipe, std::to_string(serial));
                }
                created.insert(recipe->uid());
                break;
            }
            case 2:
                if (!recipes.empty()) {
                    auto& recipe = recipes[pick(static_cast<int>(recipes.size()))];
                    recipe->setName("Renamed " + std::to_string(++serial));
                    recipe->setModified();
                }
                break;
            case 3:
                if (!recipes.empty()) {
                    auto& recipe = recipes[pick(static_cast<int>(recipes.size()))];
                    recipe->setOnFavorites(!recipe->onFavorites().value_or(false));
                    recipe->setModified();
                }
                break;
            case 4:
                if (!recipes.empty()) {
                    auto& recipe = recipes[pick(static_cast<int>(recipes.size()))];
                    if (pick(3) == 0) {
                        recipe->setPhoto(std::nullopt);
                        recipe->setModified();
                    } else {
                        device.setPhoto(*recipe, std::to_string(++serial));
                    }
                }
                break;
            case 5:
                if (!recipes.empty()) {
                    auto recipe = recipes[pick(static_cast<int>(recipes.size()))];
                    deleted.insert(recipe->uid());
                    EXPECT_TRUE(Recipe::deleteRecipes(device.main(), {recipe}));
                }
                break;
            case 6: {
                auto categories = device.live<RecipeCategory>();
                if (categories.empty() || pick(2) == 0) {
                    auto category = device.main().insert<RecipeCategory>();
                    made["RecipeCategory"].insert(category->uid());
                    category->setName("Category " + std::to_string(++serial));
                    category->setOrderFlag(serial);
                    if (!recipes.empty()) {
                        auto& filed = recipes[pick(static_cast<int>(recipes.size()))];
                        filed->addCategory(category);
                        filed->setModified();
                    }
                } else if (pick(2) == 0) {
                    categories.front()->setName("Category " + std::to_string(++serial));
                    categories.front()->setStatus(kStatusModified);
                } else {
                    gone["RecipeCategory"].insert(categories.back()->uid());
                    SyncedObject::deleteObjects(device.main(), {categories.back()});
                }
                break;
            }
            case 7:
            case 8: {
                auto meals = device.live<Meal>();
                if (meals.empty() || pick(2) == 0) {
                    auto meal = device.main().insert<Meal>();
                    meal->setType(pick(4));
                    meal->setOrderFlag(0);
                    meal->setDate(
                        parseDateText("2014-03-1" + std::to_string(pick(9)) + " 00:00:00"));
                    if (!recipes.empty() && pick(2) == 0) {
                        meal->setRecipe(recipes[pick(static_cast<int>(recipes.size()))]);
                    } else {
                        meal->setName("Meal " + std::to_string(++serial));
                    }
                } else {
                    SyncedObject::deleteObjects(device.main(), {meals.front()});
                }
                break;
            }
            case 9:
            case 10: {
                auto items = device.live<GroceryListItem>();
                if (items.empty() || pick(3) == 0) {
                    auto item = device.main().insert<GroceryListItem>();
                    made["GroceryListItem"].insert(item->uid());
                    item->setName("item " + std::to_string(++serial));
                    item->setAisle("Produce");
                    item->setPurchased(false);
                    item->setOrderFlag(serial);
                } else if (pick(2) == 0) {
                    auto& item = items[pick(static_cast<int>(items.size()))];
                    item->setPurchased(!item->purchased().value_or(false));
                    item->setStatus(kStatusModified);
                } else {
                    gone["GroceryListItem"].insert(items.front()->uid());
                    SyncedObject::deleteObjects(device.main(), {items.front()});
                }
                break;
            }
            default: {
                auto bookmarks = device.live<Bookmark>();
                if (bookmarks.empty() || pick(2) == 0) {
                    auto bookmark = device.main().insert<Bookmark>();
                    made["Bookmark"].insert(bookmark->uid());
                    bookmark->setTitle("Site " + std::to_string(++serial));
                    bookmark->setUrl("https://example.org/" + std::to_string(serial));
                    bookmark->setOrderFlag(serial);
                } else {
                    gone["Bookmark"].insert(bookmarks.front()->uid());
                    SyncedObject::deleteObjects(device.main(), {bookmarks.front()});
                }
                break;
            }
        }
        device.save();
    };

    for (int round = 0; round < 200; ++round) {
        Device& device = pick(2) == 0 ? *m_a : *m_b;
        edit(device);
        if (pick(4) == 0) {
            ASSERT_EQ(device.sync(), "") << "round " << round << ", seed " << seed;
        }
    }
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(m_a->sync(), "") << "seed " << seed;
        ASSERT_EQ(m_b->sync(), "") << "seed " << seed;
    }
    auto a = m_a->snapshot();
    auto b = m_b->snapshot();
    for (const auto& entity : {"Bookmark", "GroceryListItem", "RecipeCategory", "Meal", "Recipe"}) {
        std::set<std::string> uids;
        for (const auto& [uid, text] : a[entity])
            uids.insert(uid);
        for (const auto& [uid, text] : b[entity])
            uids.insert(uid);
        for (const auto& uid : uids) {
            EXPECT_EQ(a[entity][uid], b[entity][uid]) << entity << " " << uid << ", seed " << seed;
        }
    }
    for (const auto& uid : created) {
        if (!deleted.contains(uid)) {
            EXPECT_TRUE(a["Recipe"].contains(uid)) << "recipe lost, seed " << seed;
        }
    }
    for (const auto& [entity, uids] : made) {
        for (const auto& uid : uids) {
            if (!gone[entity].contains(uid)) {
                EXPECT_TRUE(a[entity].contains(uid)) << entity << " lost, seed " << seed;
            }
        }
    }
    for (auto* device : {m_a.get(), m_b.get()}) {
        for (auto& recipe : device->all<Recipe>()) {
            EXPECT_EQ(recipe->status(), kStatusUnmodified) << "seed " << seed;
        }
    }
}

}  // namespace
}  // namespace miravel::testing
