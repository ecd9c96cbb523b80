#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lib/Gzip.h"
#include "lib/JsonParser.h"
#include "lib/JsonWriter.h"
#include "lib/Log.h"
#include "server/MiravelServer.h"
#include "server/PhotoFiles.h"
#include "server/Storage.h"
#include "server/StorageSupport.h"
#include "support/TemporaryFolder.h"

namespace miravel::server::testing {

// Fails chosen writes, as a full disk or a lost database connection would, after the photo
// file of the same request is already in place.
class FaultyStorage final : public Storage {
public:
    explicit FaultyStorage(Storage& inner) : m_inner(inner) {}
    std::atomic<bool> failRecipeWrites = false;
    std::atomic<bool> failEntityWrites = false;

    Result<std::optional<Account>> findAccount(const std::string& email) override {
        return m_inner.findAccount(email);
    }
    Result<std::vector<Account>> accounts() override { return m_inner.accounts(); }
    Result<std::optional<Account>> createAccount(const std::string& email, const std::string& hash,
                                                 bool onlyIfFirst) override {
        return m_inner.createAccount(email, hash, onlyIfFirst);
    }
    Result<bool> setPasswordHash(const std::string& email, const std::string& hash) override {
        return m_inner.setPasswordHash(email, hash);
    }
    Result<std::optional<std::vector<std::string>>> deleteAccount(
        const std::string& email) override {
        return m_inner.deleteAccount(email);
    }
    Result<std::vector<std::string>> entities(std::int64_t account, EntityKind kind) override {
        return m_inner.entities(account, kind);
    }
    Result<void> applyEntities(std::int64_t account, EntityKind kind,
                               const std::vector<EntityRecord>& records) override {
        if (failEntityWrites) {
            return makeError(kStorageErrorDomain, 1, "injected write failure");
        }
        return m_inner.applyEntities(account, kind, records);
    }
    Result<std::vector<RecipeStub>> recipeStubs(std::int64_t account) override {
        return m_inner.recipeStubs(account);
    }
    Result<std::optional<StoredRecipe>> recipe(std::int64_t account,
                                               const std::string& uid) override {
        return m_inner.recipe(account, uid);
    }
    Result<WriteOutcome> writeRecipe(std::int64_t account, const RecipeWrite& write) override {
        if (failRecipeWrites) {
            return makeError(kStorageErrorDomain, 1, "injected write failure");
        }
        return m_inner.writeRecipe(account, write);
    }
    Result<std::optional<PhotoLocation>> photoByToken(const std::string& token) override {
        return m_inner.photoByToken(token);
    }
    Result<bool> photoInUse(std::int64_t account, const std::string& photoHash) override {
        return m_inner.photoInUse(account, photoHash);
    }
    Result<std::vector<HistoryEntry>> history(std::int64_t account,
                                              const std::string& uid) override {
        return m_inner.history(account, uid);
    }
    Result<WriteOutcome> restore(std::int64_t account, std::int64_t entryId,
                                 const std::string& newPhotoToken) override {
        return m_inner.restore(account, entryId, newPhotoToken);
    }
    Result<void> createSession(const std::string& tokenDigest, std::int64_t account,
                               const std::string& csrfToken, std::int64_t expires) override {
        return m_inner.createSession(tokenDigest, account, csrfToken, expires);
    }
    Result<std::optional<WebSession>> session(const std::string& tokenDigest,
                                              std::int64_t now) override {
        return m_inner.session(tokenDigest, now);
    }
    Result<void> deleteSession(const std::string& tokenDigest) override {
        return m_inner.deleteSession(tokenDigest);
    }

private:
    Storage& m_inner;
};

// A database for one test: "sqlite" in the test's folder, or "postgresql" in the private
// cluster (ServerStorageBackends.cpp).
std::string databaseAddressFor(const std::string& backend, const std::filesystem::path& folder);
// Removes a database databaseAddressFor made, once nothing uses it.
void releaseDatabase(const std::string& backend, const std::string& address);
// Why the backend cannot run here, or empty when it can.
std::string backendUnavailableReason(const std::string& backend);
// Runs SQL straight on the database at `address`, beside the storage, as an operator's tool
// would (one statement for SQLite; PostgreSQL takes several and answers for the last). Each
// row comes back as its columns' text joined by "|"; a failure is a test failure.
std::vector<std::string> rowsOf(const std::string& backend, const std::string& address,
                                const std::string& sql);

// The envelope of one answer.
struct Answer {
    int status = 0;
    std::string body;
    JsonValue json;
    bool ok() const { return status == 200 && json.member("result") != nullptr; }
    const JsonValue& result() const {
        static const JsonValue none;
        const JsonValue* found = json.member("result");
        return found ? *found : none;
    }
    int errorCode() const {
        const JsonValue* error = json.member("error");
        const JsonValue* code = error ? error->member("code") : nullptr;
        return code && code->isInteger() ? static_cast<int>(code->asInteger()) : 0;
    }
    std::string errorMessage() const {
        const JsonValue* error = json.member("error");
        const JsonValue* message = error ? error->member("message") : nullptr;
        return message && message->isString() ? message->asString() : std::string();
    }
};

// A real server on 127.0.0.1 and a free port, over a fresh database, spoken to over HTTP.
class ServerTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        if (auto reason = backendUnavailableReason(GetParam()); !reason.empty()) {
            GTEST_SKIP() << reason;
        }
        m_sinkSet = true;
        m_previousSink = setLogSink([this](std::string_view line) {
            std::lock_guard lock(m_logMutex);
            m_log.emplace_back(line);
        });
        m_address = databaseAddressFor(GetParam(), m_folder.path());
        auto opened = openStorage(m_address, [this] { return nowSeconds() + m_clockShift.load(); });
        ASSERT_TRUE(opened) << opened.error().description;
        m_storage = std::move(*opened);
        m_faulty = std::make_unique<FaultyStorage>(*m_storage);
        m_photos = std::make_unique<PhotoFiles>(m_folder / "photos");
        startServer(RegistrationPolicy::Open);
    }

    void TearDown() override {
        stopServer();
        m_faulty.reset();
        m_storage.reset();
        releaseDatabase(GetParam(), m_address);
        if (m_sinkSet) {
            setLogSink(std::move(m_previousSink));
        }
    }

    void startServer(RegistrationPolicy policy, RecipePageHook hook = {}) {
        ServerOptions options;
        options.registration = policy;
        options.threads = 16;
        // The cheapest Argon2id libsodium allows: the tests log in often and measure nothing.
        options.passwordCost = {1, 8192};
        options.recipePage = std::move(hook);
        m_server = std::make_unique<MiravelServer>(options, *m_faulty, *m_photos);
        auto port = m_server->bind("127.0.0.1", 0);
        ASSERT_TRUE(port) << port.error().description;
        m_port = *port;
        m_thread = std::thread([this] { m_server->run(); });
    }

    void stopServer() {
        if (m_server) {
            m_server->stop();
            m_thread.join();
            m_server.reset();
        }
    }

    void restartServer(RegistrationPolicy policy, RecipePageHook hook = {}) {
        stopServer();
        startServer(policy, std::move(hook));
    }

    std::unique_ptr<httplib::Client> client() {
        auto made = std::make_unique<httplib::Client>("127.0.0.1", m_port);
        made->set_read_timeout(30);
        return made;
    }

    static Answer answerOf(const httplib::Result& result) {
        Answer answer;
        if (!result) {
            return answer;
        }
        answer.status = result->status;
        answer.body = result->body;
        if (auto parsed = JsonParser::parse(result->body)) {
            answer.json = std::move(*parsed);
        }
        return answer;
    }

    Answer postForm(const std::string& path, const httplib::Params& fields) {
        return answerOf(client()->Post(path.c_str(), fields));
    }

    Answer registerAccount(const std::string& email, const std::string& password) {
        return postForm("/account/register/", {{"email", email}, {"password", password}});
    }

    Answer get(const std::string& path, const std::string& email, const std::string& password) {
        auto made = client();
        made->set_basic_auth(email.c_str(), password.c_str());
        return answerOf(made->Get(path.c_str()));
    }

    Answer postParts(const std::string& path, const std::string& email, const std::string& password,
                     const httplib::MultipartFormDataItems& parts) {
        auto made = client();
        made->set_basic_auth(email.c_str(), password.c_str());
        return answerOf(made->Post(path.c_str(), parts));
    }

    static httplib::MultipartFormData dataPart(const JsonValue& value) {
        return {"data", gzipCompress(JsonWriter::write(value)), "file", "application/octet-stream"};
    }

    static httplib::MultipartFormData photoPart(const std::string& bytes) {
        return {"photo_upload", bytes, "photo.jpg", "image/jpeg"};
    }

    static std::string pngBytes(char variant) {
        return std::string("\x89PNG\r\n\x1a\n", 8) + "photo bytes " + variant;
    }

    static JsonObject recipe(const std::string& uid, const std::string& name,
                             const std::string& hash, bool withPhoto = false) {
        return JsonObject{{"uid", JsonValue(uid)},
                          {"name", JsonValue(name)},
                          {"rating", JsonValue(3)},
                          {"created", JsonValue("2014-03-09 07:05:00")},
                          {"on_favorites", JsonValue(false)},
                          {"photo", withPhoto ? JsonValue(uid + ".jpg") : JsonValue()},
                          {"deleted", JsonValue(false)},
                          {"categories", JsonValue(JsonArray{})},
                          {"hash", JsonValue(hash)}};
    }

    std::vector<std::string> logLines() {
        std::lock_guard lock(m_logMutex);
        return m_log;
    }

    ::miravel::testing::TemporaryFolder m_folder;
    // How far ahead of the system's clock the storage's runs, in seconds.
    std::atomic<std::int64_t> m_clockShift = 0;
    std::string m_address;
    std::unique_ptr<Storage> m_storage;
    std::unique_ptr<FaultyStorage> m_faulty;
    std::unique_ptr<PhotoFiles> m_photos;
    std::unique_ptr<MiravelServer> m_server;
    std::thread m_thread;
    int m_port = 0;
    bool m_sinkSet = false;
    LogSink m_previousSink;
    std::mutex m_logMutex;
    std::vector<std::string> m_log;
};

}  // namespace miravel::server::testing
