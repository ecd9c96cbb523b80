#include "sync/MiravelService.h"

#include <curl/curl.h>
#include <fmt/format.h>
#include <sys/utsname.h>

#include <clocale>
#include <mutex>
#include <thread>

#include "lib/ApplicationIdentifier.h"
#include "lib/AtomicFile.h"
#include "lib/Gzip.h"
#include "lib/JsonParser.h"
#include "lib/JsonWriter.h"
#include "lib/Log.h"
#include "lib/MainQueue.h"
#include "lib/StringTable.h"
#include "model/Keychain.h"
#include "model/UserSettings.h"

#ifndef MIRAVEL_VERSION
#define MIRAVEL_VERSION "1.0"
#endif

namespace miravel {

namespace {

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::size_t appendBody(char* data, std::size_t size, std::size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

std::size_t readStatusLine(char* data, std::size_t size, std::size_t count, void* target) {
    std::string_view line(data, size * count);
    // Each response of a redirect chain starts with its status line; the last one counts.
    if (line.starts_with("HTTP/")) {
        auto& message = *static_cast<std::string*>(target);
        message.clear();
        auto first = line.find(' ');
        auto second = first == std::string_view::npos ? first : line.find(' ', first + 1);
        if (second != std::string_view::npos) {
            auto text = line.substr(second + 1);
            while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) {
                text.remove_suffix(1);
            }
            message = std::string(text);
        }
    }
    return size * count;
}

int checkCancelled(void* flag, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* cancelled = static_cast<const std::atomic<bool>*>(flag);
    return cancelled && cancelled->load() ? 1 : 0;
}

std::string contentTypeOfFile(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    for (auto& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (extension == ".jpg" || extension == ".jpeg")
        return "image/jpeg";
    if (extension == ".png")
        return "image/png";
    if (extension == ".gif")
        return "image/gif";
    if (extension == ".tif" || extension == ".tiff")
        return "image/tiff";
    if (extension == ".bmp")
        return "image/bmp";
    return "application/octet-stream";
}

bool isLoopbackHost(std::string_view host) {
    return host == "localhost" || host.starts_with("127.") || host == "[::1]";
}

// The host of "scheme://[user@]host[:port]/...".
std::string hostOf(std::string_view url) {
    auto start = url.find("://");
    if (start == std::string_view::npos) {
        return {};
    }
    auto rest = url.substr(start + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (auto at = rest.rfind('@'); at != std::string_view::npos) {
        rest = rest.substr(at + 1);
    }
    if (rest.starts_with("[")) {
        return std::string(rest.substr(0, rest.find(']') + 1));
    }
    return std::string(rest.substr(0, rest.find(':')));
}

Error transportError(CURLcode code, const char* detail) {
    std::string text = detail && *detail ? detail : curl_easy_strerror(code);
    HttpErrorCode kind = HttpErrorCode::Transport;
    if (code == CURLE_OPERATION_TIMEDOUT) {
        kind = HttpErrorCode::TimedOut;
        text = tr("The request timed out.");
    } else if (code == CURLE_ABORTED_BY_CALLBACK) {
        kind = HttpErrorCode::Cancelled;
        text = tr("The request was cancelled.");
    } else if (code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CACERT_BADFILE ||
               code == CURLE_SSL_CERTPROBLEM) {
        kind = HttpErrorCode::Certificate;
        text = fmt::format("The server's certificate could not be verified: {}", text);
    } else if (code == CURLE_UNSUPPORTED_PROTOCOL || code == CURLE_URL_MALFORMAT) {
        kind = HttpErrorCode::Address;
    }
    return Error{kHttpErrorDomain, static_cast<int>(kind), std::move(text), {}};
}

}  // namespace

struct MiravelService::Shared {
    CURLSH* share = nullptr;
    std::mutex locks[CURL_LOCK_DATA_LAST];

    Shared() {
        share = curl_share_init();
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        curl_share_setopt(share, CURLSHOPT_USERDATA, this);
        curl_share_setopt(
            share, CURLSHOPT_LOCKFUNC,
            +[](CURL*, curl_lock_data data, curl_lock_access, void* self) {
                static_cast<Shared*>(self)->locks[data].lock();
            });
        curl_share_setopt(
            share, CURLSHOPT_UNLOCKFUNC, +[](CURL*, curl_lock_data data, void* self) {
                static_cast<Shared*>(self)->locks[data].unlock();
            });
    }
    ~Shared() { curl_share_cleanup(share); }
};

Error statusError(long status) {
    return Error{
        applicationErrorDomain(),
        kStatusErrorCode,
        fmt::format(fmt::runtime(tr("There was an error with your request. (HTTP status: {})")),
                    status),
        {}};
}

Result<JsonValue> readServiceReply(const HttpReply& reply) {
    if (reply.status > 399) {
        return std::unexpected(statusError(reply.status));
    }
    auto parsed = JsonParser::parse(reply.body);
    if (!parsed) {
        return std::unexpected(parsed.error());
    }
    if (!parsed->isObject()) {
        return makeError(kServiceErrorDomain, 0, tr("The server's answer could not be read."));
    }
    if (const JsonValue* error = parsed->member("error"); error && error->isObject()) {
        const JsonValue* code = error->member("code");
        const JsonValue* message = error->member("message");
        return makeError(kServiceErrorDomain,
                         code && code->isInteger() ? static_cast<int>(code->asInteger()) : 0,
                         message && message->isString() ? message->asString() : std::string());
    }
    const JsonValue* result = parsed->member("result");
    return result ? *result : JsonValue();
}

std::string serviceAddressWarning(const std::string& baseUrl) {
    if (baseUrl.starts_with("https://")) {
        return {};
    }
    if (!baseUrl.starts_with("http://")) {
        return tr("The service address must start with https:// or http://.");
    }
    if (isLoopbackHost(hostOf(baseUrl))) {
        return {};
    }
    return tr(
        "This address is not encrypted (http://): your password travels readable to "
        "anyone between you and the server. Use an https:// address.");
}

std::string serviceUserAgent() {
    struct utsname system {};
    std::string release = "0.0.0";
    if (uname(&system) == 0) {
        // Three dotted numbers: "6.1.0-18-amd64" becomes "6.1.0".
        std::string text = system.release;
        release = text.substr(0, text.find_first_not_of("0123456789."));
    }
    const char* locale = std::setlocale(LC_MESSAGES, nullptr);
    std::string localeName = locale && std::string_view(locale) != "C" ? locale : "en_US";
    localeName = localeName.substr(0, localeName.find('.'));
    return fmt::format("Miravel {} (X11; Linux {}; {})", MIRAVEL_VERSION, release, localeName);
}

std::string serializeAndCompress(const JsonValue& value) {
    return gzipCompress(JsonWriter::write(value));
}

MiravelService::MiravelService(UserSettings& settings, Keychain& keychain, MainQueue& queue)
    : m_settings(settings), m_keychain(keychain), m_queue(queue) {
    initialiseCurlOnce();
    m_shared = std::make_unique<Shared>();
    setCredentials();
}

MiravelService::~MiravelService() = default;

void MiravelService::setCredentials() {
    auto email = m_settings.string(kAccountEmailKey);
    if (!email) {
        return;
    }
    auto item = m_keychain.genericKeychainItemForService(kApplicationIdentifier, *email);
    if (!item) {
        logLine("Could not read the keychain: {}", item.error().description);
        return;
    }
    if (item->has_value()) {
        m_email = *email;
        m_password = (*item)->password();
    }
}

void MiravelService::setCredentials(std::string email, std::string password) {
    m_email = std::move(email);
    m_password = std::move(password);
}

void MiravelService::clearCredentials() {
    m_email.reset();
    m_password.reset();
}

std::string MiravelService::baseUrl() const {
    std::string url = m_settings.string(kServiceBaseUrlKey).value_or(kDefaultServiceBaseUrl);
    while (url.ends_with('/')) {
        url.pop_back();
    }
    return url;
}

ServiceRequest MiravelService::createRequest(std::string url) const {
    ServiceRequest request;
    request.url = std::move(url);
    return request;
}

ServiceRequest MiravelService::createAuthRequest(std::string url) const {
    ServiceRequest request = createRequest(std::move(url));
    request.basicAuth = std::make_pair(m_email.value_or(""), m_password.value_or(""));
    return request;
}

Result<HttpReply> MiravelService::perform(const ServiceRequest& request,
                                          const std::atomic<bool>* cancelled) const {
    if (!request.url.starts_with("https://") && !request.url.starts_with("http://")) {
        return makeError(kHttpErrorDomain, HttpErrorCode::Address,
                         fmt::format("Not a web address: {}", request.url));
    }
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(), curl_easy_cleanup);
    CURL* curl = handle.get();
    HttpReply reply;
    char detail[CURL_ERROR_SIZE] = {};
    std::string userAgent = serviceUserAgent();
    curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, detail);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_SHARE, m_shared->share);
    curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");
    curl_easy_setopt(curl, CURLOPT_USERAGENT, userAgent.c_str());
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(m_timeout.count()));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_timeout.count()));
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    // A redirect never downgrades an https request, which carries the password, to http.
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR,
                     request.url.starts_with("https://") ? "https" : "http,https");
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, readStatusLine);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &reply.statusMessage);
    if (cancelled) {
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, checkCancelled);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, cancelled);
    }
    // The server never caches for us, and no proxy may answer from its cache either.
    curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Expect:");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headerList(headers,
                                                                           curl_slist_free_all);
    if (request.basicAuth) {
        // CURLAUTH_BASIC alone makes libcurl send the credentials with the first request.
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
        curl_easy_setopt(curl, CURLOPT_USERNAME, request.basicAuth->first.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, request.basicAuth->second.c_str());
    }
    std::string formBody;
    std::unique_ptr<curl_mime, decltype(&curl_mime_free)> mime(nullptr, curl_mime_free);
    if (!request.parts.empty()) {
        mime.reset(curl_mime_init(curl));
        for (const auto& [name, value] : request.fields) {
            curl_mimepart* part = curl_mime_addpart(mime.get());
            curl_mime_name(part, name.c_str());
            curl_mime_data(part, value.data(), value.size());
        }
        for (const FormPart& source : request.parts) {
            curl_mimepart* part = curl_mime_addpart(mime.get());
            curl_mime_name(part, source.name.c_str());
            if (source.file) {
                if (curl_mime_filedata(part, source.file->c_str()) != CURLE_OK) {
                    return makeError(kHttpErrorDomain, HttpErrorCode::Transport,
                                     fmt::format("Could not read {}", source.file->string()));
                }
            } else {
                curl_mime_data(part, source.bytes.data(), source.bytes.size());
            }
            curl_mime_filename(part, source.fileName.c_str());
            curl_mime_type(part, source.contentType.c_str());
        }
        curl_easy_setopt(curl, CURLOPT_MIMEPOST, mime.get());
        ++m_posts;
    } else if (!request.fields.empty()) {
        for (const auto& [name, value] : request.fields) {
            char* key = curl_easy_escape(curl, name.data(), static_cast<int>(name.size()));
            char* text = curl_easy_escape(curl, value.data(), static_cast<int>(value.size()));
            if (!formBody.empty()) {
                formBody += '&';
            }
            formBody += fmt::format("{}={}", key, text);
            curl_free(key);
            curl_free(text);
        }
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, formBody.c_str());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(formBody.size()));
        ++m_posts;
    } else {
        ++m_gets;
    }
    CURLcode code = curl_easy_perform(curl);
    if (code != CURLE_OK) {
        return std::unexpected(transportError(code, detail));
    }
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    return reply;
}

Result<JsonValue> MiravelService::makeRequest(const ServiceRequest& request) const {
    auto reply = perform(request);
    if (!reply) {
        return std::unexpected(reply.error());
    }
    return readServiceReply(*reply);
}

Result<JsonValue> MiravelService::getSync(const std::string& path) const {
    return makeRequest(createAuthRequest(baseUrl() + path));
}

Result<JsonValue> MiravelService::postSync(const std::string& path, const JsonValue& data) const {
    ServiceRequest request = createAuthRequest(baseUrl() + path);
    request.parts.push_back(
        {"data", "file", "application/octet-stream", serializeAndCompress(data), std::nullopt});
    return makeRequest(request);
}

Result<JsonValue> MiravelService::updateRecipe(
    const std::string& uid, const std::optional<JsonObject>& recipe,
    const std::optional<std::filesystem::path>& photoPath) const {
    ServiceRequest request = createAuthRequest(baseUrl() + "/sync/recipe/" + uid + "/");
    if (recipe) {
        request.parts.push_back({"data", "file", "application/octet-stream",
                                 serializeAndCompress(JsonValue(*recipe)), std::nullopt});
    }
    if (photoPath) {
        request.parts.push_back({"photo_upload",
                                 photoPath->filename().string(),
                                 contentTypeOfFile(*photoPath),
                                 {},
                                 *photoPath});
    }
    return makeRequest(request);
}

std::shared_ptr<Callback> MiravelService::login(const std::string& email,
                                                const std::string& password) const {
    ServiceRequest request = createRequest(baseUrl() + "/account/login/");
    request.fields = {{"email", email}, {"password", password}};
    return std::make_shared<Callback>(*this, std::move(request));
}

std::shared_ptr<Callback> MiravelService::registerAccount(const std::string& email,
                                                          const std::string& password) const {
    ServiceRequest request = createRequest(baseUrl() + "/account/register/");
    request.fields = {{"email", email}, {"password", password}};
    return std::make_shared<Callback>(*this, std::move(request));
}

std::shared_ptr<Callback> MiravelService::getRecipe(const std::string& url,
                                                    const std::string& html) const {
    ServiceRequest request = createRequest(baseUrl() + "/recipe/");
    request.fields = {{"url", url}};
    request.parts.push_back(
        {"html", "file", "application/octet-stream", gzipCompress(html), std::nullopt});
    return std::make_shared<Callback>(*this, std::move(request));
}

Result<void> MiravelService::downloadPhoto(const std::string& url,
                                           const std::filesystem::path& destination) const {
    auto reply = perform(createRequest(url));
    if (!reply) {
        logLine("Image download error: {}", reply.error().description);
        return std::unexpected(reply.error());
    }
    if (reply->status != 200) {
        logLine("Image download error. Status code: {} Message: {}", reply->status,
                reply->statusMessage);
        return std::unexpected(statusError(reply->status));
    }
    auto written = writeFileAtomically(destination, reply->body);
    if (!written) {
        logLine("Image download error: {}", written.error().description);
    }
    return written;
}

Callback::Callback(const MiravelService& service, ServiceRequest request)
    : m_service(service), m_request(std::move(request)) {}

std::shared_ptr<Callback> Callback::target(Success onSuccess, Failure onError) {
    auto self = shared_from_this();
    std::thread([self, onSuccess = std::move(onSuccess), onError = std::move(onError)]() mutable {
        auto reply = self->m_service.perform(self->m_request, &self->m_cancelled);
        Result<JsonValue> outcome =
            reply ? readServiceReply(*reply) : Result<JsonValue>(std::unexpected(reply.error()));
        self->m_service.mainQueue().post([self, outcome = std::move(outcome),
                                          onSuccess = std::move(onSuccess),
                                          onError = std::move(onError)] {
            if (outcome) {
                onSuccess(*outcome);
            } else {
                onError(outcome.error());
            }
        });
    }).detach();
    return self;
}

}  // namespace miravel
