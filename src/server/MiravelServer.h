#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "lib/JsonValue.h"
#include "server/Accounts.h"
#include "server/ApiError.h"
#include "server/PhotoFiles.h"
#include "server/Storage.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace miravel::server {

// Turns a web page into a recipe dictionary, or says why not. The page parser lives in
// another layer; a server without one answers /recipe/ with an error.
using RecipePageHook =
    std::function<ApiResult<JsonObject>(std::string_view html, std::string_view url)>;

struct Limits {
    std::size_t maxBodyBytes = 40 * 1024 * 1024;
    std::size_t maxListBytes = 32 * 1024 * 1024;   // an inflated "data" list
    std::size_t maxRecipeBytes = 4 * 1024 * 1024;  // an inflated recipe
    std::size_t maxPhotoBytes = 16 * 1024 * 1024;
    std::size_t maxPageBytes = 16 * 1024 * 1024;  // an inflated web page
    std::size_t maxHeaders = 100;
};

struct ServerOptions {
    // Where photo addresses point; empty for "http://<listen address>".
    std::string baseUrl;
    RegistrationPolicy registration = RegistrationPolicy::First;
    // Requests from this address may name the client in X-Forwarded-For.
    std::string trustedProxy;
    int threads = 64;
    // What the answers of the sync lists may take in memory (0 keeps none): a no-change sync
    // is then answered without reading the lists again.
    std::size_t listCacheBytes = 64 * 1024 * 1024;
    Limits limits;
    PasswordHasher::Cost passwordCost;
    RecipePageHook recipePage;
};

// The service: its routes, the controllers behind them and the hardening of the HTTP
// library in front of them.
class MiravelServer {
public:
    MiravelServer(ServerOptions options, Storage& storage, PhotoFiles& photos);
    ~MiravelServer();
    MiravelServer(const MiravelServer&) = delete;
    MiravelServer& operator=(const MiravelServer&) = delete;

    // Binds the listening socket; port 0 takes a free one. Gives the port.
    [[nodiscard]] Result<int> bind(const std::string& host, int port);
    // Serves until stop(); requests in flight are finished first.
    void run();
    void stop();

    // Answers the requests in `bytes` as one connection from `remoteAddress` would have had
    // them answered, in the calling thread, and gives what would have been written back. No
    // socket is involved: for the fuzzer of the HTTP front, which feeds it raw requests.
    std::string serveBytes(std::string_view bytes, const std::string& remoteAddress);

    AccountService& accounts() { return *m_accounts; }
    const std::string& baseUrl() const { return m_options.baseUrl; }

private:
    class Impl;
    ServerOptions m_options;
    std::unique_ptr<PasswordHasher> m_hasher;
    std::unique_ptr<AccountService> m_accounts;
    std::unique_ptr<Impl> m_impl;
};

// For a process that serves: keeps freed memory for the next request instead of returning
// it to the system each time.
void tuneAllocatorForServing();

}  // namespace miravel::server
