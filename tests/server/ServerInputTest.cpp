#include <sys/socket.h>

#include <netinet/in.h>
#include <unistd.h>

#include "ServerFixture.h"
#include "lib/Crypto.h"

namespace miravel::server::testing {
namespace {

constexpr const char* kEmail = "ann@example.org";
constexpr const char* kPassword = "hunter2-secret";

class ServerInput : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        ASSERT_TRUE(registerAccount(kEmail, kPassword).ok());
        JsonObject soup{{"uid", "C1"}, {"name", "Soup"}, {"order_flag", 0}, {"deleted", false}};
        ASSERT_TRUE(postAs("/sync/categories/", {dataPart(JsonValue(JsonArray{soup}))}).ok());
        m_before = getAs("/sync/categories/").body;
    }
    Answer getAs(const std::string& path) { return get(path, kEmail, kPassword); }
    Answer postAs(const std::string& path, const httplib::MultipartFormDataItems& parts) {
        return postParts(path, kEmail, kPassword, parts);
    }
    Answer postRaw(const std::string& path, const std::string& bytes) {
        return postAs(path, {{"data", bytes, "file", "application/octet-stream"}});
    }
    void expectUnchanged() { EXPECT_EQ(getAs("/sync/categories/").body, m_before); }

    // Sends raw bytes on one connection and reads until the server closes it (or a timeout).
    std::string exchange(const std::string& bytes, bool& closed) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(m_port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        timeval timeout{2, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        EXPECT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
        std::string received;
        closed = false;
        char buffer[4096];
        while (true) {
            const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
            if (count == 0) {
                closed = true;
                break;
            }
            if (count < 0) {
                break;
            }
            received.append(buffer, static_cast<std::size_t>(count));
        }
        ::close(fd);
        return received;
    }

    std::string m_before;
};

TEST_P(ServerInput, badDataIsRefusedWithAClearMessageAndChangesNothing) {
    struct Case {
        std::string name;
        std::string json;
        std::string messagePart;
    };
    const std::vector<Case> cases{
        {"malformed", R"([{"uid":"C2","name":"Cake",}])", "not valid JSON"},
        {"not an array", R"({"uid":"C2","name":"Cake"})", "must be a JSON array"},
        {"not an object", R"([{"uid":"C2","name":"Cake"},"C3"])", "Item 2 is not a JSON object"},
        {"missing uid", R"([{"name":"Cake","order_flag":1}])", "no \"uid\""},
        {"uid of wrong type", R"([{"uid":12,"name":"Cake"}])", "no \"uid\""},
        {"order of wrong type", R"([{"uid":"C2","name":"Cake","order_flag":"1"}])",
         "\"order_flag\" of Item 1 must be a whole number"},
        {"deleted of wrong type", R"([{"uid":"C2","name":"Cake","deleted":"no"}])",
         "\"deleted\" of Item 1"},
        {"duplicate uids", R"([{"uid":"C2","name":"A"},{"uid":"C2","name":"B"}])",
         "repeats the uid \"C2\""},
        {"uid with a slash", R"([{"uid":"../C2","name":"Cake"}])", "invalid \"uid\""},
        // The first item alone would be fine: all or nothing.
        {"one bad among good", R"([{"uid":"C1","name":"Changed"},{"uid":"C3","order_flag":1.5}])",
         "Item 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto answer = postRaw("/sync/categories/", gzipCompress(c.json));
        EXPECT_EQ(answer.status, 200);
        EXPECT_EQ(answer.errorCode(), apiErrorCode(ApiErrorKind::BadRequest));
        EXPECT_NE(answer.errorMessage().find(c.messagePart), std::string::npos)
            << answer.errorMessage();
        expectUnchanged();
    }
    auto noData = postAs("/sync/categories/", {{"other", "x", "", ""}});
    EXPECT_NE(noData.errorMessage().find("no \"data\" part"), std::string::npos) << noData.body;
    // A multipart body without parts does not even parse: still the envelope.
    auto empty = postAs("/sync/categories/", {});
    EXPECT_EQ(empty.status, 400);
    EXPECT_EQ(empty.errorCode(), apiErrorCode(ApiErrorKind::BadRequest));
    EXPECT_NE(postRaw("/sync/categories/", "\x1f\x8b garbage").errorMessage().find("not gzip"),
              std::string::npos);
    auto twice = postAs("/sync/categories/",
                        {dataPart(JsonValue(JsonArray{})), dataPart(JsonValue(JsonArray{}))});
    EXPECT_NE(twice.errorMessage().find("sent twice"), std::string::npos);
    expectUnchanged();
}

TEST_P(ServerInput, meals_and_recipes_check_their_own_members) {
    auto meal =
        postRaw("/sync/meals/",
                gzipCompress(R"([{"uid":"M1","type":2,"date":"March 9","deleted":false}])"));
    EXPECT_NE(meal.errorMessage().find("\"date\""), std::string::npos);
    auto noHash = postRaw("/sync/recipe/R1/", gzipCompress(R"({"uid":"R1","name":"Soup"})"));
    EXPECT_NE(noHash.errorMessage().find("\"hash\""), std::string::npos);
    auto otherUid = postRaw("/sync/recipe/R1/", gzipCompress(R"({"uid":"R2","hash":"h"})"));
    EXPECT_NE(otherUid.errorMessage().find("differs"), std::string::npos);
    auto categories = postRaw("/sync/recipe/R1/",
                              gzipCompress(R"({"uid":"R1","hash":"h","categories":["a",1]})"));
    EXPECT_NE(categories.errorMessage().find("\"categories\""), std::string::npos);
    EXPECT_TRUE(getAs("/sync/recipes/").result().asArray().empty());
}

TEST_P(ServerInput, badUidsInTheAddressAreRefused) {
    const std::string tooLong(kMaxUidLength + 1, 'A');
    for (const std::string& path : std::vector<std::string>{
             "/sync/recipe/..%2F..%2Fetc/", "/sync/recipe/a%2Fb/", "/sync/recipe/a%0Ab/",
             "/sync/recipe/" + tooLong + "/", "/sync/recipe/%2E%2E/", "/sync/recipe/a%20b/"}) {
        SCOPED_TRACE(path);
        auto answer = getAs(path);
        EXPECT_NE(answer.status, 500);
        EXPECT_FALSE(answer.ok());
        EXPECT_NE(answer.errorCode(), 0) << answer.body;
    }
    EXPECT_TRUE(isValidUid("1B4E28BA-2FA1-41D2-883F-0016D3CCA427"));
    EXPECT_FALSE(isValidUid(""));
    EXPECT_FALSE(isValidUid("a..b"));
    EXPECT_FALSE(isValidUid("é"));
}

TEST_P(ServerInput, aPhotoThatIsNoImageIsRefusedWithItsRecipe) {
    auto answer = postAs("/sync/recipe/R1/", {dataPart(JsonValue(recipe("R1", "Soup", "h1", true))),
                                              photoPart("<html>not a photo</html>")});
    EXPECT_EQ(answer.errorMessage(), "The photo is not an image.");
    EXPECT_TRUE(getAs("/sync/recipes/").result().asArray().empty());
    EXPECT_FALSE(std::filesystem::exists(m_folder / "photos" / "1"));
}

TEST_P(ServerInput, aGzipBombIsRefusedAsTooLarge) {
    // 40 MiB of one character squeezed into some 40 KB, beyond the inflated limit.
    std::string json = "[{\"uid\":\"C9\",\"name\":\"" + std::string(40 * 1024 * 1024, 'a') + "\"}]";
    const std::string bomb = gzipCompress(json);
    json.clear();
    json.shrink_to_fit();
    ASSERT_LT(bomb.size(), 200u * 1024);
    auto answer = postRaw("/sync/categories/", bomb);
    EXPECT_EQ(answer.status, 413);
    EXPECT_EQ(answer.errorCode(), apiErrorCode(ApiErrorKind::TooLarge));
    expectUnchanged();
}

TEST_P(ServerInput, encodedChunkedAndOversizedBodiesAreRefusedAndTheConnectionClosed) {
    const std::string smuggled = "GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n";
    struct Case {
        std::string name;
        std::string headers;
        int status;
    };
    const std::vector<Case> cases{
        {"content-encoded",
         "Content-Encoding: gzip\r\nContent-Length: " + std::to_string(smuggled.size()) + "\r\n",
         415},
        {"chunked", "Transfer-Encoding: chunked\r\n", 415},
        {"both lengths", "Transfer-Encoding: chunked\r\nContent-Length: 5\r\n", 415},
        {"oversized", "Content-Length: 999999999999\r\n", 413},
        {"two lengths", "Content-Length: 3\r\nContent-Length: 4\r\n", 415},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool closed = false;
        const std::string reply = exchange(
            "POST /account/login/ HTTP/1.1\r\nHost: x\r\n" + c.headers + "\r\n" + smuggled, closed);
        EXPECT_TRUE(reply.starts_with("HTTP/1.1 " + std::to_string(c.status))) << reply;
        EXPECT_TRUE(closed);
        // The body was never taken for a request of its own.
        EXPECT_EQ(reply.find("ok\n"), std::string::npos);
    }
}

// The fuzzer's way in, bytes in memory, answers as a connection is answered: requests kept
// alive in order, and a refused body never read as a request of its own.
TEST_P(ServerInput, bytesServedInMemoryAreAnsweredAsOverAConnection) {
    const std::string basic = base64Encode(std::string(kEmail) + ":" + kPassword);
    const std::string written = m_server->serveBytes(
        "GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n"
        "GET /sync/categories/ HTTP/1.1\r\nHost: x\r\nAuthorization: Basic " +
            basic +
            "\r\n\r\n"
            "GET /nowhere HTTP/1.1\r\nHost: x\r\n\r\n"
            "POST /account/login/ HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n"
            "GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n",
        "10.0.0.7");
    std::vector<std::string> statuses;
    for (auto at = written.find("HTTP/1.1 "); at != std::string::npos;
         at = written.find("HTTP/1.1 ", at + 1)) {
        statuses.push_back(written.substr(at + 9, 3));
    }
    EXPECT_EQ(statuses, (std::vector<std::string>{"200", "200", "404", "415"})) << written;
    EXPECT_NE(written.find("{\"result\":["), std::string::npos);
    EXPECT_NE(written.find("Connection: close"), std::string::npos);
    // Nothing at all, or half a request line, is no request.
    EXPECT_EQ(m_server->serveBytes("", "10.0.0.7"), "");
    EXPECT_EQ(m_server->serveBytes("GET /heal", "10.0.0.7").find("200"), std::string::npos);
}

TEST_P(ServerInput, passwordsAndAuthorizationNeverReachTheLog) {
    (void)postForm("/account/login/", {{"email", kEmail}, {"password", kPassword}});
    (void)postForm("/account/login/", {{"email", kEmail}, {"password", "wrong-secret-9"}});
    (void)getAs("/sync/recipes/");
    (void)get("/sync/recipes/?password=in-query-7", kEmail, "wrong-secret-8");
    const std::string basic = base64Encode(std::string(kEmail) + ":" + kPassword);
    const auto lines = logLines();
    ASSERT_FALSE(lines.empty());
    bool sawLogin = false;
    for (const auto& line : lines) {
        EXPECT_EQ(line.find(kPassword), std::string::npos) << line;
        EXPECT_EQ(line.find("wrong-secret"), std::string::npos) << line;
        EXPECT_EQ(line.find("in-query-7"), std::string::npos) << line;
        EXPECT_EQ(line.find(basic), std::string::npos) << line;
        EXPECT_EQ(line.find("Basic"), std::string::npos) << line;
        sawLogin = sawLogin || line.find("POST /account/login/ 200") != std::string::npos;
    }
    EXPECT_TRUE(sawLogin);
}

TEST_P(ServerInput, failedLoginsSlowTheAddressDownNotTheAccount) {
    for (int i = 0; i < 6; ++i) {
        (void)postForm("/account/login/", {{"email", kEmail}, {"password", "wrong-password"}});
    }
    auto throttled = postForm("/account/login/", {{"email", kEmail}, {"password", kPassword}});
    EXPECT_EQ(throttled.status, 429);
    EXPECT_EQ(throttled.errorCode(), apiErrorCode(ApiErrorKind::TooManyAttempts));
}

INSTANTIATE_TEST_SUITE_P(Storage, ServerInput, ::testing::Values("sqlite", "postgresql"));

}  // namespace
}  // namespace miravel::server::testing
