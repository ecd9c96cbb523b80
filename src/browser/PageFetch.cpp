#include "browser/PageFetch.h"

#include <curl/curl.h>

#include <memory>
#include <thread>

#include "browser/BrowserController.h"
#include "lib/MainQueue.h"

namespace miravel {

namespace {

struct Download {
    std::string body;
    std::size_t limit = 0;
    bool tooLarge = false;
};

std::size_t collect(char* data, std::size_t size, std::size_t count, void* target) {
    auto* download = static_cast<Download*>(target);
    const std::size_t bytes = size * count;
    if (download->body.size() + bytes > download->limit) {
        download->tooLarge = true;
        return 0;  // aborts the transfer
    }
    download->body.append(data, bytes);
    return bytes;
}

Error fetchError(FetchErrorCode code, std::string description) {
    return Error{kFetchErrorDomain, static_cast<int>(code), std::move(description), {}};
}

}  // namespace

Result<FetchedPage> fetchPage(const std::string& url, const FetchLimits& limits) {
    if (!isWebAddress(url)) {
        return std::unexpected(fetchError(FetchErrorCode::NotWeb, "not a web address: " + url));
    }
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) {
        return std::unexpected(fetchError(FetchErrorCode::Transport, "no HTTP client"));
    }
    Download download;
    download.limit = limits.maxBytes;
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(handle, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_IGNORED));
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBytes));
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.timeout.count()));
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(std::min<long long>(limits.timeout.count(), 30000)));
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(handle, CURLOPT_USERAGENT, "Mozilla/5.0 (X11; Linux x86_64) Miravel");
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &download);
    const CURLcode code = curl_easy_perform(handle);
    if (download.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        return std::unexpected(fetchError(FetchErrorCode::TooLarge, "the download is too large"));
    }
    if (code == CURLE_OPERATION_TIMEDOUT) {
        return std::unexpected(fetchError(FetchErrorCode::TimedOut, "the download timed out"));
    }
    if (code != CURLE_OK) {
        return std::unexpected(fetchError(FetchErrorCode::Transport, curl_easy_strerror(code)));
    }
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status >= 300) {
        return std::unexpected(
            fetchError(FetchErrorCode::Status, "the server answered " + std::to_string(status)));
    }
    FetchedPage page;
    page.body = std::move(download.body);
    char* effective = nullptr;
    curl_easy_getinfo(handle, CURLINFO_EFFECTIVE_URL, &effective);
    page.finalUrl = effective != nullptr ? effective : url;
    char* type = nullptr;
    curl_easy_getinfo(handle, CURLINFO_CONTENT_TYPE, &type);
    page.contentType = type != nullptr ? type : "";
    return page;
}

void fetchPageAsync(const std::string& url, MainQueue& queue,
                    std::function<void(Result<FetchedPage>)> done, FetchLimits limits) {
    std::thread([url, &queue, done = std::move(done), limits]() mutable {
        auto result = std::make_shared<Result<FetchedPage>>(fetchPage(url, limits));
        queue.post([done = std::move(done), result] { done(std::move(*result)); });
    }).detach();
}

}  // namespace miravel
