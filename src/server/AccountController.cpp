#include <httplib.h>

#include "server/Controllers.h"
#include "server/JsonText.h"

namespace miravel::server {

ApiResult<std::optional<std::string>> formField(const httplib::Request& request,
                                                std::string_view name) {
    const std::string key(name);
    const auto params = request.params.count(key);
    const auto files = request.files.count(key);
    if (params + files > 1) {
        return apiError(ApiErrorKind::BadRequest, "The field \"" + key + "\" is sent twice.");
    }
    if (params == 1) {
        return std::optional<std::string>(request.params.find(key)->second);
    }
    if (files == 1) {
        return std::optional<std::string>(request.files.find(key)->second.content);
    }
    return std::optional<std::string>();
}

namespace {

struct Credentials {
    std::string email;
    std::string password;
};

ApiResult<Credentials> credentialsOf(const httplib::Request& request) {
    auto email = formField(request, "email");
    if (!email) {
        return std::unexpected(email.error());
    }
    auto password = formField(request, "password");
    if (!password) {
        return std::unexpected(password.error());
    }
    if (!*email || (*email)->empty()) {
        return apiError(ApiErrorKind::BadRequest, "Please enter an email address.");
    }
    if (!*password || (*password)->empty()) {
        return apiError(ApiErrorKind::BadRequest, "Please enter a password.");
    }
    return Credentials{std::move(**email), std::move(**password)};
}

std::string accountResult(const Account& account) {
    return strictJson(JsonValue(JsonObject{{"email", JsonValue(account.email)}}));
}

}  // namespace

ApiResult<std::string> AccountController::registerAccount(const httplib::Request& request,
                                                          const std::string& address) {
    auto credentials = credentialsOf(request);
    if (!credentials) {
        return std::unexpected(credentials.error());
    }
    auto account = m_accounts.registerAccount(credentials->email, credentials->password, address);
    if (!account) {
        return std::unexpected(account.error());
    }
    return accountResult(*account);
}

ApiResult<std::string> AccountController::login(const httplib::Request& request,
                                                const std::string& address) {
    auto credentials = credentialsOf(request);
    if (!credentials) {
        return std::unexpected(credentials.error());
    }
    auto account = m_accounts.login(credentials->email, credentials->password, address);
    if (!account) {
        return std::unexpected(account.error());
    }
    return accountResult(*account);
}

}  // namespace miravel::server
