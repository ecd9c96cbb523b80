#include "server/StorageSupport.h"

#include "lib/DateText.h"
#include "lib/JsonParser.h"
#include "server/Storage.h"

namespace miravel::server {

std::int64_t nowSeconds() {
    return static_cast<std::int64_t>(timeTOf(currentMoment()));
}

std::int64_t historyCutoff(std::int64_t now) {
    return now - static_cast<std::int64_t>(kHistoryDaysKept) * 24 * 3600;
}

std::string dateTextOfSeconds(std::int64_t seconds) {
    return formatDateText(momentOfTimeT(static_cast<std::time_t>(seconds)));
}

std::string hashOfBody(std::string_view body) {
    JsonParser::Options options;
    options.allowRawControlCharacters = true;
    auto parsed = JsonParser::parse(body, options);
    if (!parsed) {
        return {};
    }
    const JsonValue* hash = parsed->member("hash");
    return hash && hash->isString() ? hash->asString() : std::string();
}

std::unexpected<Error> storageError(std::string description, int code) {
    return makeError(kStorageErrorDomain, code, std::move(description));
}

}  // namespace miravel::server
