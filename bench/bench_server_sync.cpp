// Load on loopback, bounded in time: many clients, each syncing an account of its own against
// one miravel-server over SQLite. First each uploads its recipes, then it runs no-change syncs
// (the five list GETs of a sync run) until the time is up. Prints the upload time and the
// p50/p99 latency of a no-change sync.
//
//   bench_server_sync [--clients 50] [--recipes 500] [--seconds 20] [--gzip] [--raw]
//                     [--pace-ms N] [--compare N] [--no-list-cache]
//   bench_server_sync --serve-only [--recipes 500] [--no-list-cache]   # for wrk (prints its port)
//
// What the no-change figures measure:
// - by default a closed loop: each client starts its next sync as soon as the last ended, so
//   the 50 clients keep the server (and the two cores they share with it) saturated, and the
//   latency is mostly the queue: about clients / throughput.
// - --pace-ms N: each client starts a sync every N ms, as a fleet of clients syncing on a
//   timer would; the load is fixed (clients * 1000 / N syncs/s) and the latency is taken from
//   the moment the sync was due, so time spent waiting for a late client counts too.
// - --gzip: the clients ask for gzip, as the desktop's client does, and inflate the answers.
// - --raw: the clients take the answers' bytes without inflating them (with --gzip), so the
//   clients' own work on the shared cores is the least it can be.
// - --compare N: N alternations of the same phase against a second server in the process, over
//   the same database, that keeps no list answers (the server before the list cache), then
//   against the one that does.

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
    bool gzip = false;
    bool raw = false;
    bool listCache = true;
    int paceMs = 0;
    int alternations = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--serve-only") {
            serveOnly = true;
        } else if (argument == "--gzip") {
            gzip = true;
        } else if (argument == "--raw") {
            raw = true;
        } else if (argument == "--no-list-cache") {
            listCache = false;
        } else if (i + 1 < argc && argument == "--pace-ms") {
            paceMs = std::atoi(argv[++i]);
        } else if (i + 1 < argc && argument == "--compare") {
            alternations = std::atoi(argv[++i]);
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
    if (!listCache) {
        options.listCacheBytes = 0;
    }
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

    // Without a label, one untimed sync per client: each server's login cache then holds the
    // clients' credentials, as a running server's does (a first login costs a password hash,
    // two at a time, some seconds for fifty clients at once).
    const auto noChangeSyncs = [&](int onPort, const char* label) {
        const bool warmUp = label == nullptr;
        std::vector<std::vector<double>> latencies(static_cast<std::size_t>(clients));
        std::atomic<int> failed = 0;
        const auto begin = Clock::now();
        const auto end = begin + std::chrono::seconds(seconds);
        std::vector<std::thread> threads;
        for (int c = 0; c < clients; ++c) {
            threads.emplace_back([&, c] {
                httplib::Client client("127.0.0.1", onPort);
                client.set_keep_alive(true);
                client.set_tcp_nodelay(true);
                client.set_read_timeout(120);
                client.set_decompress(!raw);
                client.set_basic_auth(fmt::format("user{}@example.org", c).c_str(),
                                      "bench-password");
                httplib::Headers headers;
                if (gzip) {
                    headers.emplace("Accept-Encoding", "gzip");
                }
                // Paced clients start spread over the period, not all at once.
                const auto period = std::chrono::milliseconds(paceMs);
                auto due = begin + period * c / std::max(clients, 1);
                while (true) {
                    if (paceMs > 0) {
                        std::this_thread::sleep_until(due);
                    } else {
                        due = Clock::now();
                    }
                    if (due >= end || (warmUp && !latencies[static_cast<std::size_t>(c)].empty())) {
                        break;
                    }
                    for (const char* path :
                         {"/sync/bookmarks/", "/sync/groceries/", "/sync/categories/",
                          "/sync/recipes/", "/sync/meals/"}) {
                        auto result = client.Get(path, headers);
                        if (!result || result->status != 200) {
                            if (++failed <= 5) {
                                fmt::print(stderr, "sync failed: {}\n",
                                           result ? std::to_string(result->status)
                                                  : httplib::to_string(result.error()));
                            }
                        }
                    }
                    latencies[static_cast<std::size_t>(c)].push_back(
                        std::chrono::duration<double, std::milli>(Clock::now() - due).count());
                    due += period;
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
        errors += failed.load();
        if (warmUp) {
            return;
        }
        std::vector<double> all;
        for (auto& values : latencies) {
            all.insert(all.end(), values.begin(), values.end());
        }
        const double elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
        fmt::print(
            "{}: no-change syncs: {} in {:.1f} s ({:.0f} syncs/s, {:.0f} requests/s), p50 {:.1f} "
            "ms, p99 {:.1f} ms, max {:.1f} ms, {} errors\n",
            label, all.size(), elapsed, all.size() / elapsed, 5 * all.size() / elapsed,
            percentile(all, 0.5), percentile(all, 0.99), percentile(all, 1.0), failed.load());
        std::fflush(stdout);
    };

    fmt::print("clients {}, {}, {}{}\n", clients,
               paceMs > 0 ? fmt::format("each syncing every {} ms", paceMs) : "closed loop",
               gzip ? "gzip" : "plain", gzip && raw ? ", not inflated" : "");
    if (alternations > 0) {
        ServerOptions uncached = options;
        uncached.listCacheBytes = 0;
        MiravelServer before(uncached, **storage, photos);
        auto beforePort = before.bind("127.0.0.1", 0);
        if (!beforePort) {
            return 1;
        }
        std::thread beforeServing([&] { before.run(); });
        noChangeSyncs(*beforePort, nullptr);
        noChangeSyncs(*port, nullptr);
        for (int round = 0; round < alternations; ++round) {
            noChangeSyncs(*beforePort, "no list cache");
            noChangeSyncs(*port, "list cache   ");
        }
        before.stop();
        beforeServing.join();
    } else {
        noChangeSyncs(*port, nullptr);
        noChangeSyncs(*port, listCache ? "list cache" : "no list cache");
    }
    server.stop();
    serving.join();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return errors.load() == 0 ? 0 : 1;
}
