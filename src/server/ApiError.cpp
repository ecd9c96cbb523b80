#include "server/ApiError.h"

#include "lib/JsonWriter.h"
#include "lib/Log.h"
#include "server/JsonText.h"

namespace miravel::server {

std::unexpected<ApiError> internalError(const Error& cause) {
    logLine("Server error {} {}: {}", cause.domain, cause.code, cause.description);
    return apiError(ApiErrorKind::Internal, "The server could not complete the request.");
}

int apiErrorStatus(ApiErrorKind kind) {
    switch (kind) {
        case ApiErrorKind::BadRequest:
        case ApiErrorKind::LoginFailed:
        case ApiErrorKind::RegistrationClosed:
        case ApiErrorKind::AccountExists:
        case ApiErrorKind::ParseFailed:
            return 200;
        case ApiErrorKind::Unauthorized:
            return 401;
        case ApiErrorKind::NotFound:
            return 404;
        case ApiErrorKind::TooLarge:
            return 413;
        case ApiErrorKind::UnsupportedEncoding:
            return 415;
        case ApiErrorKind::TooManyAttempts:
            return 429;
        case ApiErrorKind::ParserUnavailable:
            return 503;
        case ApiErrorKind::Internal:
            return 500;
        case ApiErrorKind::Forbidden:
            return 403;
    }
    return 500;
}

int apiErrorCode(ApiErrorKind kind) {
    switch (kind) {
        case ApiErrorKind::BadRequest:
            return 1;
        case ApiErrorKind::Unauthorized:
            return 2;
        case ApiErrorKind::LoginFailed:
            return 3;
        case ApiErrorKind::RegistrationClosed:
            return 4;
        case ApiErrorKind::AccountExists:
            return 5;
        case ApiErrorKind::NotFound:
            return 6;
        case ApiErrorKind::TooLarge:
            return 7;
        case ApiErrorKind::UnsupportedEncoding:
            return 8;
        case ApiErrorKind::TooManyAttempts:
            return 9;
        case ApiErrorKind::ParserUnavailable:
            return 10;
        case ApiErrorKind::ParseFailed:
            return 11;
        case ApiErrorKind::Internal:
            return 12;
        case ApiErrorKind::Forbidden:
            return 13;
    }
    return 12;
}

std::string errorEnvelope(const ApiError& error) {
    JsonObject inner{{"code", JsonValue(apiErrorCode(error.kind))},
                     {"message", JsonValue(error.message)}};
    return strictJson(JsonValue(JsonObject{{"error", JsonValue(std::move(inner))}}));
}

}  // namespace miravel::server
