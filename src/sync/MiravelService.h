#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "lib/Error.h"
#include "lib/JsonValue.h"

namespace miravel {

class Keychain;
class MainQueue;
class UserSettings;

// Errors the service itself reports in its answer's "error" object.
inline constexpr const char* kServiceErrorDomain = "service";
// Transport failures: no connection, time-out, cancellation, a refused certificate.
inline constexpr const char* kHttpErrorDomain = "miravel.http";
enum class HttpErrorCode {
    Transport = 1,
    TimedOut = 2,
    Cancelled = 3,
    Certificate = 4,
    Address = 5
};
// The code of status errors (HTTP 400 and above), in applicationErrorDomain().
inline constexpr int kStatusErrorCode = 100;

// The address the application talks to when the user has named none.
inline constexpr const char* kDefaultServiceBaseUrl = "http://127.0.0.1:8080";

// One form part: bytes held in memory, or a file read when the request is sent.
struct FormPart {
    std::string name;
    std::string fileName;
    std::string contentType;
    std::string bytes;
    std::optional<std::filesystem::path> file;
};

// A request as the service client builds it: no fields is a GET; text fields only, a
// URL-encoded POST; any part, a multipart POST.
struct ServiceRequest {
    std::string url;
    std::vector<std::pair<std::string, std::string>> fields;
    std::vector<FormPart> parts;
    std::optional<std::pair<std::string, std::string>> basicAuth;
};

struct HttpReply {
    long status = 0;
    std::string statusMessage;
    std::string body;
};

// The status error of an HTTP status 400 or above.
Error statusError(long status);
// Turns a finished reply into the answer's "result" (null when absent) or its error: the
// status error, the parser's error for a body that is no JSON object, or a "service" error.
[[nodiscard]] Result<JsonValue> readServiceReply(const HttpReply& reply);
// Why a service address should not be used as it is, or empty: plain http beyond the
// loopback addresses sends the password readable to anyone on the way.
std::string serviceAddressWarning(const std::string& baseUrl);
// "Miravel <version> (X11; Linux <release>; <locale>)".
std::string serviceUserAgent();
// The JSON text of `value` as one gzip stream.
std::string serializeAndCompress(const JsonValue& value);

class MiravelService;

// One asynchronous request. It keeps itself alive from start() until its one completion,
// which runs on the main queue: exactly one of the two handlers, once.
class Callback : public std::enable_shared_from_this<Callback> {
public:
    using Success = std::function<void(const JsonValue&)>;
    using Failure = std::function<void(const Error&)>;

    Callback(const MiravelService& service, ServiceRequest request);
    // Starts the request on a thread of its own.
    std::shared_ptr<Callback> target(Success onSuccess, Failure onError);
    // The request ends through onError with a cancellation error.
    void cancel() { m_cancelled = true; }
    const ServiceRequest& httpRequest() const { return m_request; }

private:
    const MiravelService& m_service;
    ServiceRequest m_request;
    std::atomic<bool> m_cancelled{false};
};

// The one client of the sync service: builds its requests, sends them with libcurl
// (certificates checked, redirects followed, cookies kept, Basic authentication sent with the
// first request) and reads its answers. The /sync/ calls block the calling thread (the sync
// thread); the account calls complete on the main queue.
class MiravelService {
public:
    MiravelService(UserSettings& settings, Keychain& keychain, MainQueue& queue);
    ~MiravelService();
    MiravelService(const MiravelService&) = delete;
    MiravelService& operator=(const MiravelService&) = delete;

    // From "AccountEmail" and its keychain item; left as they were when there is no item.
    void setCredentials();
    void clearCredentials();
    void setCredentials(std::string email, std::string password);
    const std::optional<std::string>& syncEmail() const { return m_email; }
    bool hasCredentials() const { return m_email.has_value() && m_password.has_value(); }

    // The "ServiceBaseURL" setting without a trailing "/", or the default address.
    std::string baseUrl() const;
    // 120 s unless changed (the tests wait less).
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }
    std::chrono::milliseconds timeout() const { return m_timeout; }
    MainQueue& mainQueue() const { return m_queue; }

    ServiceRequest createRequest(std::string url) const;
    ServiceRequest createAuthRequest(std::string url) const;
    // Sends the request and waits for the whole reply. `cancelled`, when given, is polled.
    [[nodiscard]] Result<HttpReply> perform(const ServiceRequest& request,
                                            const std::atomic<bool>* cancelled = nullptr) const;
    [[nodiscard]] Result<JsonValue> makeRequest(const ServiceRequest& request) const;

    std::shared_ptr<Callback> login(const std::string& email, const std::string& password) const;
    std::shared_ptr<Callback> registerAccount(const std::string& email,
                                              const std::string& password) const;
    std::shared_ptr<Callback> getRecipe(const std::string& url, const std::string& html) const;

    [[nodiscard]] Result<JsonValue> getCategories() const { return getSync("/sync/categories/"); }
    [[nodiscard]] Result<JsonValue> updateCategories(const JsonArray& items) const {
        return postSync("/sync/categories/", JsonValue(items));
    }
    [[nodiscard]] Result<JsonValue> getRecipes() const { return getSync("/sync/recipes/"); }
    [[nodiscard]] Result<JsonValue> getRecipe(const std::string& uid) const {
        return getSync("/sync/recipe/" + uid + "/");
    }
    [[nodiscard]] Result<JsonValue> updateRecipe(
        const std::string& uid, const std::optional<JsonObject>& recipe,
        const std::optional<std::filesystem::path>& photoPath) const;
    [[nodiscard]] Result<JsonValue> getGroceries() const { return getSync("/sync/groceries/"); }
    [[nodiscard]] Result<JsonValue> updateGroceries(const JsonArray& items) const {
        return postSync("/sync/groceries/", JsonValue(items));
    }
    [[nodiscard]] Result<JsonValue> getMeals() const { return getSync("/sync/meals/"); }
    [[nodiscard]] Result<JsonValue> updateMeals(const JsonArray& items) const {
        return postSync("/sync/meals/", JsonValue(items));
    }
    [[nodiscard]] Result<JsonValue> getBookmarks() const { return getSync("/sync/bookmarks/"); }
    [[nodiscard]] Result<JsonValue> updateBookmarks(const JsonArray& items) const {
        return postSync("/sync/bookmarks/", JsonValue(items));
    }

    // A plain GET without credentials; only status 200 counts, and its body is written
    // atomically to `destination`. Failures are logged and returned.
    [[nodiscard]] Result<void> downloadPhoto(const std::string& url,
                                             const std::filesystem::path& destination) const;

    // How many requests this client sent, by method; the benchmark and tests count them.
    std::size_t getCount() const { return m_gets.load(); }
    std::size_t postCount() const { return m_posts.load(); }

private:
    [[nodiscard]] Result<JsonValue> getSync(const std::string& path) const;
    [[nodiscard]] Result<JsonValue> postSync(const std::string& path, const JsonValue& data) const;

    struct Shared;
    UserSettings& m_settings;
    Keychain& m_keychain;
    MainQueue& m_queue;
    std::unique_ptr<Shared> m_shared;
    std::optional<std::string> m_email;
    std::optional<std::string> m_password;
    std::chrono::milliseconds m_timeout{std::chrono::seconds(120)};
    mutable std::atomic<std::size_t> m_gets{0};
    mutable std::atomic<std::size_t> m_posts{0};
};

}  // namespace miravel
