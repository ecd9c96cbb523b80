#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

#include "lib/Error.h"

namespace miravel {

class MainQueue;

// What the clipper fetches (pictures, pages for the command line) comes from sites the user
// merely visited: bounded in size and time, only http and https (redirects included), and
// never with credentials or cookies.
struct FetchLimits {
    std::size_t maxBytes = 20 * 1024 * 1024;
    std::chrono::milliseconds timeout{std::chrono::seconds(60)};
};

struct FetchedPage {
    std::string body;
    std::string finalUrl;  // after redirects
    std::string contentType;
};

inline constexpr const char* kFetchErrorDomain = "miravel.fetch";
enum class FetchErrorCode { NotWeb = 1, Transport = 2, TooLarge = 3, Status = 4, TimedOut = 5 };

[[nodiscard]] Result<FetchedPage> fetchPage(const std::string& url, const FetchLimits& limits = {});

// fetchPage on a thread of its own; `done` runs on the main queue.
void fetchPageAsync(const std::string& url, MainQueue& queue,
                    std::function<void(Result<FetchedPage>)> done, FetchLimits limits = {});

}  // namespace miravel
