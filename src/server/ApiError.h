#pragma once

#include <string>
#include <utility>

#include "lib/Error.h"

namespace miravel::server {

// What went wrong with a request, as the controllers see it. How each kind reaches the client
// (HTTP status, envelope code) is decided in exactly one place, apiErrorStatus/apiErrorCode.
enum class ApiErrorKind {
    BadRequest,           // malformed or invalid input; the message says what and where
    Unauthorized,         // missing or wrong credentials on an authenticated request
    LoginFailed,          // wrong e-mail or password at /account/login/
    RegistrationClosed,   // the operator allows no new accounts
    AccountExists,        // an account with that e-mail is already registered
    NotFound,             // no such recipe (or photo) in this account
    TooLarge,             // a body, part, photo or inflated part beyond its limit
    UnsupportedEncoding,  // a request body sent chunked or content-encoded
    TooManyAttempts,      // failed logins from this address: wait and try again
    ParserUnavailable,    // the page parser is not part of this server
    ParseFailed,          // the page parser found no recipe
    Internal,             // storage or file failure; details go to the log only
    Forbidden,            // a browser's change without its session's CSRF token
};

struct ApiError {
    ApiErrorKind kind = ApiErrorKind::Internal;
    std::string message;
};

template <typename T>
using ApiResult = std::expected<T, ApiError>;

inline std::unexpected<ApiError> apiError(ApiErrorKind kind, std::string message) {
    return std::unexpected(ApiError{kind, std::move(message)});
}

// A storage or file failure becomes an Internal error whose text the client never sees; the
// cause is logged where it happened.
std::unexpected<ApiError> internalError(const Error& cause);

// HTTP status of each kind. Refusals the user can act on travel with status 200 and the
// envelope's "error": the client only shows the envelope's message for statuses below 400,
// and a generic "HTTP status" text otherwise.
int apiErrorStatus(ApiErrorKind kind);
// The envelope error's "code".
int apiErrorCode(ApiErrorKind kind);

// {"error":{"code":N,"message":"..."}}
std::string errorEnvelope(const ApiError& error);

}  // namespace miravel::server
