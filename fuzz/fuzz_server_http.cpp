// The server's HTTP front: raw bytes, as a client's connection would send them, through the
// whole request handling (the library's parsing, our checks before routing, routing, every
// controller, the storage behind them), in this thread and without a socket. One account
// exists, so that requests signed with its Basic credentials reach the sync handlers; the
// seeds carry them.
//
// Faults, beside what the sanitizers catch: an answer of 500 (the server failed on input it
// should have refused), an exception that reached the library, or bytes written back that are
// no HTTP answer.

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "lib/Log.h"
#include "server/MiravelServer.h"
#include "server/PhotoFiles.h"
#include "server/Storage.h"

using namespace miravel;
using namespace miravel::server;

namespace {

struct Service {
    std::filesystem::path folder;
    std::unique_ptr<Storage> storage;
    std::unique_ptr<PhotoFiles> photos;
    std::unique_ptr<MiravelServer> server;
    std::uint64_t served = 0;

    void startServer() {
        ServerOptions options;
        options.registration = RegistrationPolicy::Open;
        options.baseUrl = "http://127.0.0.1:8080";
        options.passwordCost = {1, 8192};
        // Small limits, so that the fuzzer reaches them rather than exhausting memory.
        options.limits.maxBodyBytes = 1 << 20;
        options.limits.maxListBytes = 1 << 20;
        options.limits.maxRecipeBytes = 1 << 20;
        options.limits.maxPhotoBytes = 1 << 20;
        options.limits.maxPageBytes = 1 << 20;
        options.listCacheBytes = 4 << 20;
        server = std::make_unique<MiravelServer>(options, *storage, *photos);
    }
};

Service& service() {
    static Service* made = [] {
        auto* made = new Service;
        // A memory file system when there is one: every write is synced.
        const std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        made->folder = base / fmt::format("miravel-fuzz-http-{}", ::getpid());
        std::filesystem::remove_all(made->folder);
        std::filesystem::create_directories(made->folder);
        auto storage = openStorage("sqlite:" + (made->folder / "server.db").string());
        if (!storage) {
            fmt::print(stderr, "{}\n", storage.error().description);
            std::abort();
        }
        made->storage = std::move(*storage);
        made->photos = std::make_unique<PhotoFiles>(made->folder / "photos");
        made->startServer();
        if (!made->server->accounts().createAccount("fuzz@example.org", "fuzz-password")) {
            std::abort();
        }
        setLogSink([](std::string_view line) {
            if (line.starts_with("Server error")) {
                fmt::print(stderr, "{}\n", line);
                std::abort();
            }
        });
        std::atexit([] { std::filesystem::remove_all(service().folder); });
        return made;
    }();
    return *made;
}

// The answers written back, one after the other: each a status line, headers and as many bytes
// of body as its Content-Length says (none after a HEAD, so the next status line is looked for
// when the bytes there are not one). A 500 is a fault.
void checkAnswers(std::string_view written) {
    if (!written.empty() && !written.starts_with("HTTP/1.1 ")) {
        std::abort();
    }
    constexpr std::string_view kStatusLine = "HTTP/1.1 ";
    while (written.size() >= kStatusLine.size() + 3) {
        if (!written.starts_with(kStatusLine)) {
            const auto next = written.find(kStatusLine);
            if (next == std::string_view::npos) {
                return;
            }
            written.remove_prefix(next);
            continue;
        }
        const std::string_view status = written.substr(kStatusLine.size(), 3);
        if (status[0] < '1' || status[0] > '5') {
            std::abort();
        }
        if (status == "500") {
            fmt::print(stderr, "500 answer:\n{}\n", written.substr(0, 800));
            std::abort();
        }
        const auto headersEnd = written.find("\r\n\r\n");
        if (headersEnd == std::string_view::npos) {
            std::abort();
        }
        constexpr std::string_view kLength = "\r\nContent-Length: ";
        const auto length = written.substr(0, headersEnd).find(kLength);
        std::size_t bodySize = 0;
        if (length != std::string_view::npos) {
            bodySize = std::strtoull(
                std::string(written.substr(length + kLength.size(), 20)).c_str(), nullptr, 10);
        }
        written.remove_prefix(std::min(written.size(), headersEnd + 4 + bodySize));
    }
}

}  // namespace

// The server keeps state from input to input by design (the database, its caches), which
// libFuzzer takes for a possible leak after each input and checks at great cost (50 inputs a
// second instead of 1,500): leak checks are off unless the command line asks for them.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    for (int i = 1; i < *argc; ++i) {
        if (std::string_view((*argv)[i]).starts_with("-detect_leaks=")) {
            return 0;
        }
    }
    static std::vector<char*> arguments(*argv, *argv + *argc);
    static char off[] = "-detect_leaks=0";
    arguments.push_back(off);
    arguments.push_back(nullptr);
    *argc += 1;
    *argv = arguments.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Service& fuzzed = service();
    // Each input comes from an address of its own, so failed logins of earlier inputs do not
    // slow this one down; a fresh server now and then bounds what the throttle remembers.
    if (++fuzzed.served % 20000 == 0) {
        fuzzed.startServer();
    }
    const std::string address = fmt::format("10.{}.{}.{}", (fuzzed.served >> 16) & 0xff,
                                            (fuzzed.served >> 8) & 0xff, fuzzed.served & 0xff);
    const std::string written = fuzzed.server->serveBytes(
        std::string_view(reinterpret_cast<const char*>(data), size), address);
    checkAnswers(written);
    return 0;
}
