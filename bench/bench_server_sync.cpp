// Load on loopback, bounded in time: many clients, each syncing an account of its own against
// one miravel-server over SQLite. First each uploads its recipes, then it runs no-change syncs
// (the five list GETs of a sync run) until the time is up. Prints the upload time and the
// p50/p99 latency of a no-change sync.
//
//   bench_server_sync [--clients 50] [--recipes 500] [--seconds 20]
//   bench_server_sync --serve-only [--recipes 500]   # one account, for wrk (prints its port)

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "lib/Crypto.h"
#include "lib/Gzip.h"
#include "lib/JsonWriter.h"
#include "lib/Log.h"
#include "server/MiravelServer.h"
#include "server/PhotoFiles.h"
#include "server/Storage.h"

using namespace miravel;
using namespace miravel::server;
using Clock = std::chrono::steady_clock;

namespace {

JsonObject recipeDictionary(const std::string& uid, int index) {
    return JsonObject{{"uid", JsonValue(uid)},
                      {"name", JsonValue(fmt::format("Recipe {}", index))},
                      {"directions", JsonValue(std::string(600, 'd'))},
                      {"servings", JsonValue("4")},
                      {"rating", JsonValue(3)},
                      {"difficulty", JsonValue("Easy")},
                      {"ingredients", JsonValue("2 onions\n500 g beef\n1 l stock\nsalt")},
                      {"notes", JsonValue()},
                      {"created", JsonValue("2014-03-09 07:05:00")},
                      {"on_favorites", JsonValue(false)},
                      {"photo_hash", JsonValue()},
                      {"photo", JsonValue()},
                      {"deleted", JsonValue(false)},
                      {"categories", JsonValue(JsonArray{})},
                      {"hash", JsonValue(sha256Hex(uid))}};
}

double percentile(std::vector<double>& values, double fraction) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(fraction * values.size()))];
}

}  // namespace

int main(int argc, char** argv) {
    int clients = 50;
    int recipes = 500;
    int seconds = 20;
    bool serveOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--serve-only") {
            serveOnly = true;
        } else if (i + 1 < argc && argument == "--clients") {
            clients = std::atoi(argv[++i]);
        } else if (i + 1 < argc && argument == "--recipes") {
            recipes = std::atoi(argv[++i]);
        } else if (i + 1 < argc && argument == "--seconds") {
            seconds = std::atoi(argv[++i]);
        }
    }
    if (serveOnly) {
        clients = 1;
    }
    // Request lines are dropped; failures are shown.
    setLogSink([](std::string_view line) {
        if (line.find("error") != std::string_view::npos ||
            line.find(" 200 ") == std::string_view::npos) {
            fmt::print(stderr, "{}\n", line);
        }
    });
    const auto folder =
        std::filesystem::temp_directory_path() / fmt::format("miravel-bench-server-{}", ::getpid());
    std::filesystem::create_directories(folder);
    auto storage = openStorage("sqlite:" + (folder / "server.db").string());
    if (!storage) {
        fmt::print(stderr, "{}\n", storage.error().description);
        return 1;
    }
    PhotoFiles photos(folder / "photos");
    tuneAllocatorForServing();
    ServerOptions options;
    options.registration = RegistrationPolicy::Closed;
    MiravelServer server(options, **storage, photos);
    for (int c = 0; c < clients; ++c) {
        if (!server.accounts().createAccount(fmt::format("user{}@example.org", c),
                                             "bench-password")) {
            return 1;
        }
    }
    auto port = server.bind("127.0.0.1", 0);
    if (!port) {
        return 1;
    }
    std::thread serving([&] { server.run(); });

    std::atomic<int> errors = 0;
    const auto uploadStart = Clock::now();
    {
        std::vector<std::thread> threads;
        for (int c = 0; c < clients; ++c) {
            threads.emplace_back([&, c] {
                httplib::Client client("127.0.0.1", *port);
                client.set_keep_alive(true);
                client.set_tcp_nodelay(true);
                client.set_read_timeout(120);
                client.set_basic_auth(fmt::format("user{}@example.org", c).c_str(),
                                      "bench-password");
                for (int r = 0; r < recipes; ++r) {
                    const std::string uid = fmt::format("{:08X}-0000-4000-8000-{:012X}", c, r);
                    httplib::MultipartFormDataItems parts{
                        {"data",
                         gzipCompress(JsonWriter::write(JsonValue(recipeDictionary(uid, r)))),
                         "file", "application/octet-stream"}};
                    const auto sent = Clock::now();
                    auto result = client.Post(fmt::format("/sync/recipe/{}/", uid).c_str(), parts);
                    if (!result || result->status != 200 ||
                        result->body.find("\"result\"") == std::string::npos) {
                        if (++errors <= 5) {
                            fmt::print(
                                stderr, "upload failed after {:.0f} ms: {} {}\n",
                                std::chrono::duration<double, std::milli>(Clock::now() - sent)
                                    .count(),
                                result ? std::to_string(result->status)
                                       : httplib::to_string(result.error()),
                                result ? result->body : std::string());
                        }
                    }
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
    }
    const double uploadSeconds = std::chrono::duration<double>(Clock::now() - uploadStart).count();
    fmt::print("first upload: {} clients x {} recipes in {:.1f} s ({:.0f} uploads/s), {} errors\n",
               clients, recipes, uploadSeconds, clients * recipes / uploadSeconds, errors.load());

    if (serveOnly) {
        fmt::print("serving user0@example.org / bench-password on port {}; Ctrl-C ends\n", *port);
        std::fflush(stdout);
        serving.join();
        return 0;
    }

    std::vector<std::vector<double>> latencies(static_cast<std::size_t>(clients));
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    {
        std::vector<std::thread> threads;
        for (int c = 0; c < clients; ++c) {
            threads.emplace_back([&, c] {
                httplib::Client client("127.0.0.1", *port);
                client.set_keep_alive(true);
                client.set_tcp_nodelay(true);
                client.set_read_timeout(120);
                client.set_basic_auth(fmt::format("user{}@example.org", c).c_str(),
                                      "bench-password");
                while (Clock::now() < end) {
                    const auto start = Clock::now();
                    for (const char* path :
                         {"/sync/bookmarks/", "/sync/groceries/", "/sync/categories/",
                          "/sync/recipes/", "/sync/meals/"}) {
                        auto result = client.Get(path);
                        if (!result || result->status != 200) {
                            if (++errors <= 5) {
                                fmt::print(stderr, "sync failed: {}\n",
                                           result ? std::to_string(result->status)
                                                  : httplib::to_string(result.error()));
                            }
                        }
                    }
                    latencies[static_cast<std::size_t>(c)].push_back(
                        std::chrono::duration<double, std::milli>(Clock::now() - start).count());
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
    }
    std::vector<double> all;
    for (auto& values : latencies) {
        all.insert(all.end(), values.begin(), values.end());
    }
    fmt::print(
        "no-change syncs: {} in {} s ({:.0f} syncs/s, {:.0f} requests/s), p50 {:.1f} ms, "
        "p99 {:.1f} ms, {} errors\n",
        all.size(), seconds, all.size() / static_cast<double>(seconds),
        5 * all.size() / static_cast<double>(seconds), percentile(all, 0.5), percentile(all, 0.99),
        errors.load());
    server.stop();
    serving.join();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return errors.load() == 0 ? 0 : 1;
}
