#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "ServerFixture.h"
#include "lib/Crypto.h"

namespace miravel::server::testing {
namespace {

using ::miravel::testing::TemporaryFolder;

std::string quoted(const std::string& word) {
    std::string text = "'";
    for (char c : word) {
        text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return text + "'";
}

struct Output {
    int exitCode = -1;
    std::string out;
};

// One miravel-server command, its standard input given, its output collected.
Output runServerCommand(const TemporaryFolder& folder, const std::vector<std::string>& arguments,
                        const std::string& input = {}) {
    std::ofstream(folder / "stdin.txt", std::ios::binary) << input;
    std::string command = quoted(MIRAVEL_SERVER_PATH);
    for (const auto& argument : arguments) {
        command += " " + quoted(argument);
    }
    command += " <" + quoted((folder / "stdin.txt").string()) + " 2>&1";
    Output output;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.out.append(buffer, got);
    }
    const int status = ::pclose(pipe);
    output.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return output;
}

// "miravel-server serve" as its own process, on a free port.
class ServerProcess {
public:
    ServerProcess(const std::filesystem::path& logFile, std::vector<std::string> arguments)
        : m_log(logFile) {
        arguments.insert(arguments.begin(),
                         {MIRAVEL_SERVER_PATH, "serve", "--listen", "127.0.0.1:0"});
        m_pid = ::fork();
        if (m_pid == 0) {
            std::FILE* log = std::fopen(logFile.c_str(), "w");
            ::dup2(::fileno(log), STDERR_FILENO);
            std::vector<char*> argv;
            for (auto& argument : arguments) {
                argv.push_back(argument.data());
            }
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline && m_port == 0) {
            std::ifstream in(m_log);
            std::stringstream text;
            text << in.rdbuf();
            const std::string marker = "listening on 127.0.0.1:";
            if (auto at = text.str().find(marker); at != std::string::npos) {
                m_port = std::stoi(text.str().substr(at + marker.size()));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ~ServerProcess() {
        if (m_pid > 0) {
            (void)stop();
        }
    }
    int port() const { return m_port; }
    // SIGTERM, as systemd stops it; gives the exit status.
    int stop() {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    std::filesystem::path m_log;
    pid_t m_pid = -1;
    int m_port = 0;
};

class ServerProgram : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        if (auto reason = backendUnavailableReason(GetParam()); !reason.empty()) {
            GTEST_SKIP() << reason;
        }
        m_database = databaseAddressFor(GetParam(), m_folder.path());
    }
    void TearDown() override { releaseDatabase(GetParam(), m_database); }

    Output account(std::vector<std::string> arguments, const std::string& input = {}) {
        arguments.insert(arguments.begin(), "account");
        arguments.insert(arguments.end(), {"--database", m_database, "--photos", photos()});
        return runServerCommand(m_folder, arguments, input);
    }
    std::string photos() const { return (m_folder / "photos").string(); }
    std::unique_ptr<ServerProcess> serve(const std::string& name) {
        return std::make_unique<ServerProcess>(
            m_folder / (name + ".log"),
            std::vector<std::string>{"--database", m_database, "--photos", photos(),
                                     "--registration", "closed"});
    }
    static httplib::Client clientOf(const ServerProcess& process, const std::string& password) {
        httplib::Client client("127.0.0.1", process.port());
        client.set_basic_auth("ann@example.org", password.c_str());
        return client;
    }

    TemporaryFolder m_folder;
    std::string m_database;
};

JsonValue resultOf(const httplib::Result& result) {
    if (!result) {
        return {};
    }
    auto parsed = JsonParser::parse(result->body);
    const JsonValue* found = parsed ? parsed->member("result") : nullptr;
    return found ? *found : JsonValue();
}

httplib::MultipartFormDataItems dataOf(const JsonValue& value) {
    return {{"data", gzipCompress(JsonWriter::write(value)), "file", "application/octet-stream"}};
}

TEST_P(ServerProgram, theOperatorManagesAccountsFromTheCommandLine) {
    EXPECT_EQ(runServerCommand(m_folder, {"--help"}).exitCode, 0);
    EXPECT_EQ(runServerCommand(m_folder, {"serve"}).exitCode, 2);  // no --database

    auto created = account({"create", "Ann@Example.org"}, "first-password\n");
    ASSERT_EQ(created.exitCode, 0) << created.out;
    EXPECT_NE(account({"create", "ann@example.org"}, "other-password\n").exitCode, 0);
    EXPECT_NE(account({"create", "bob@example.org"}, "short\n").out.find("at least six"),
              std::string::npos);
    EXPECT_NE(account({"list"}).out.find("ann@example.org"), std::string::npos);

    ASSERT_EQ(account({"reset-password", "ann@example.org"}, "second-password\n").exitCode, 0);
    auto server = serve("one");
    ASSERT_NE(server->port(), 0);
    {
        auto client = clientOf(*server, "second-password");
        JsonObject recipe{{"uid", "R1"},
                          {"name", "First"},
                          {"photo", "R1.jpg"},
                          {"deleted", false},
                          {"hash", "h1"}};
        auto items = dataOf(JsonValue(recipe));
        items.push_back(
            {"photo_upload", std::string("\xff\xd8\xff\xe0 jpeg", 9), "R1.jpg", "image/jpeg"});
        ASSERT_EQ(resultOf(client.Post("/sync/recipe/R1/", items)), JsonValue(true));
        recipe.set("name", JsonValue("Second"));
        recipe.set("hash", JsonValue("h2"));
        ASSERT_EQ(resultOf(client.Post("/sync/recipe/R1/", dataOf(JsonValue(recipe)))),
                  JsonValue(true));
        EXPECT_EQ(clientOf(*server, "first-password").Get("/sync/recipes/")->status, 401);
    }

    auto history = account({"history", "ann@example.org", "R1"});
    ASSERT_EQ(history.exitCode, 0) << history.out;
    ASSERT_NE(history.out.find("First"), std::string::npos) << history.out;
    const std::string version = history.out.substr(0, history.out.find('\t'));
    ASSERT_EQ(account({"restore", "ann@example.org", version}).exitCode, 0);
    auto restored = resultOf(clientOf(*server, "second-password").Get("/sync/recipe/R1/"));
    EXPECT_EQ(restored.member("name")->asString(), "First");
    EXPECT_FALSE(restored.member("photo_url")->isNull());
    EXPECT_EQ(server->stop(), 0);

    ASSERT_EQ(account({"delete", "ann@example.org"}).exitCode, 0);
    EXPECT_EQ(account({"list"}).out.find("ann@example.org"), std::string::npos);
    std::error_code ignored;
    std::size_t files = 0;
    for (auto it = std::filesystem::recursive_directory_iterator(m_folder / "photos", ignored);
         it != std::filesystem::recursive_directory_iterator(); ++it) {
        files += it->is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(files, 0u);
}

TEST_P(ServerProgram, twoProcessesServeOneDatabase) {
    ASSERT_EQ(account({"create", "ann@example.org"}, "the-password\n").exitCode, 0);
    auto first = serve("first");
    auto second = serve("second");
    ASSERT_NE(first->port(), 0);
    ASSERT_NE(second->port(), 0);
    auto a = clientOf(*first, "the-password");
    auto b = clientOf(*second, "the-password");

    // A client that syncs through one and then the other sees one account.
    for (int round = 0; round < 6; ++round) {
        auto& writer = round % 2 == 0 ? a : b;
        auto& reader = round % 2 == 0 ? b : a;
        JsonObject category{{"uid", "C" + std::to_string(round)},
                            {"name", "Round"},
                            {"order_flag", round},
                            {"deleted", false}};
        ASSERT_EQ(
            resultOf(writer.Post("/sync/categories/", dataOf(JsonValue(JsonArray{category})))),
            JsonValue(true));
        EXPECT_EQ(resultOf(reader.Get("/sync/categories/")).asArray().size(),
                  static_cast<std::size_t>(round + 1));
        JsonObject recipe{{"uid", "R1"},
                          {"name", "Soup " + std::to_string(round)},
                          {"photo", "R1.jpg"},
                          {"deleted", false},
                          {"hash", "h" + std::to_string(round)}};
        auto items = dataOf(JsonValue(recipe));
        const std::string photo = std::string("\x89PNG\r\n\x1a\n", 8) + std::to_string(round);
        items.push_back({"photo_upload", photo, "R1.png", "image/png"});
        ASSERT_EQ(resultOf(writer.Post("/sync/recipe/R1/", items)), JsonValue(true));
        auto full = resultOf(reader.Get("/sync/recipe/R1/"));
        EXPECT_EQ(full.member("hash")->asString(), "h" + std::to_string(round));
        const std::string url = full.member("photo_url")->asString();
        EXPECT_EQ(reader.Get(url.substr(url.find("/photos/")).c_str())->body, photo);
    }
    EXPECT_EQ(first->stop(), 0);
    EXPECT_EQ(second->stop(), 0);
}

INSTANTIATE_TEST_SUITE_P(Storage, ServerProgram, ::testing::Values("sqlite", "postgresql"));

}  // namespace
}  // namespace miravel::server::testing
