#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "server/Accounts.h"
#include "server/ApiError.h"
#include "server/Entities.h"
#include "server/MiravelServer.h"
#include "server/PhotoFiles.h"
#include "server/Storage.h"

namespace httplib {
struct Request;
}

namespace miravel::server {

// A text field or file part of a form body, URL-encoded or multipart. A name sent twice is
// refused: which copy counts would be a guess.
ApiResult<std::optional<std::string>> formField(const httplib::Request& request,
                                                std::string_view name);

// Each controller answers with the JSON text of the envelope's "result", or an ApiError.

class AccountController {
public:
    explicit AccountController(AccountService& accounts) : m_accounts(accounts) {}
    ApiResult<std::string> registerAccount(const httplib::Request& request,
                                           const std::string& address);
    ApiResult<std::string> login(const httplib::Request& request, const std::string& address);

private:
    AccountService& m_accounts;
};

class SyncController {
public:
    SyncController(Storage& storage, PhotoFiles& photos, const ServerOptions& options)
        : m_storage(storage), m_photos(photos), m_options(options) {}

    ApiResult<std::string> list(std::int64_t account, EntityKind kind);
    ApiResult<std::string> update(std::int64_t account, EntityKind kind,
                                  const httplib::Request& request);
    ApiResult<std::string> recipes(std::int64_t account);
    ApiResult<std::string> recipe(std::int64_t account, const std::string& uid);
    ApiResult<std::string> updateRecipe(std::int64_t account, const std::string& uid,
                                        const httplib::Request& request);

private:
    // Removes the files of photos no row of the account refers to any longer.
    void releasePhotos(std::int64_t account, const std::vector<std::string>& photoHashes);

    Storage& m_storage;
    PhotoFiles& m_photos;
    const ServerOptions& m_options;
    // Between storing a photo file and committing the row that names it, no other request of
    // this process may decide that the file is unused.
    std::mutex m_photoMutex;
};

struct PhotoReply {
    std::string bytes;
    std::string mediaType;
};

class PhotoController {
public:
    PhotoController(Storage& storage, PhotoFiles& photos) : m_storage(storage), m_photos(photos) {}
    ApiResult<PhotoReply> photo(const std::string& token);

private:
    Storage& m_storage;
    PhotoFiles& m_photos;
};

class RecipePageController {
public:
    explicit RecipePageController(const ServerOptions& options) : m_options(options) {}
    ApiResult<std::string> parse(const httplib::Request& request);

private:
    const ServerOptions& m_options;
};

// What signing in from the phone's page gives: the cookie's token (kept by the browser only)
// and the token every change must carry in its X-CSRF-Token header.
struct WebSignIn {
    std::string sessionToken;
    std::string csrfToken;
};

inline constexpr const char* kSessionCookie = "miravel_session";
inline constexpr std::int64_t kWebSessionSeconds = 30 * 24 * 60 * 60;

// The phone's page: sign-in by e-mail and password, the grocery list as the desktop shows it,
// check-offs item by item, new items, the week's meals.
class WebAppController {
public:
    WebAppController(Storage& storage, AccountService& accounts)
        : m_storage(storage), m_accounts(accounts) {}

    ApiResult<WebSignIn> signIn(const httplib::Request& request, const std::string& address);
    // The session the request's cookie names; Unauthorized without one.
    ApiResult<WebSession> session(const httplib::Request& request);
    // Also refuses a change whose X-CSRF-Token is not the session's.
    ApiResult<WebSession> sessionForChange(const httplib::Request& request);
    ApiResult<void> signOut(const httplib::Request& request);

    // show: "all", "mine" or "recipe" (with `recipe`).
    ApiResult<std::string> groceries(std::int64_t account, const httplib::Request& request);
    // {"uids":[...],"purchased":true}: each named item of the account changes on its own.
    ApiResult<std::string> setPurchased(std::int64_t account, const httplib::Request& request);
    // {"name":"2 cups flour"}: a new item of the user's own, its aisle recognised.
    ApiResult<std::string> addItem(std::int64_t account, const httplib::Request& request);
    // The seven days from `from` ("yyyy-MM-dd", the phone's today), by day and type.
    ApiResult<std::string> meals(std::int64_t account, const httplib::Request& request);
    ApiResult<std::string> recipe(std::int64_t account, const std::string& uid);

private:
    Storage& m_storage;
    AccountService& m_accounts;
};

// The page itself and the service worker that keeps it offline.
std::string_view webAppPage();
std::string_view webAppWorker();
// The page the Browser's "Supported Sites" item opens: which pages the page parser reads.
std::string_view supportedSitesPage();

// A random token of 128 bits as 32 hex digits: the unguessable part of a photo's address.
std::string newPhotoToken();

}  // namespace miravel::server
