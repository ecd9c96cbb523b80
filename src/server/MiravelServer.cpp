#include "server/MiravelServer.h"

#include <httplib.h>
#include <malloc.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <exception>
#include <optional>

#include <fmt/format.h>

#include "lib/Crypto.h"
#include "lib/Gzip.h"
#include "lib/Log.h"
#include "server/Controllers.h"
#include "server/JsonText.h"
#include "server/ListCache.h"

namespace miravel::server {

namespace {

using Clock = std::chrono::steady_clock;

// Set when a request's headers are read, so that its log line can tell how long it took.
thread_local std::optional<Clock::time_point> t_requestStart;
// Set with it: the request takes a gzip-encoded answer.
thread_local bool t_acceptsGzip = false;

// Answers shorter than this go as they are: compressing them saves less than it costs.
constexpr std::size_t kCompressedAnswerBytes = 1024;

// The envelope of a successful answer around its result's JSON text.
std::string envelopeOf(std::string_view result) {
    constexpr std::string_view kPrefix = "{\"result\":";
    std::string envelope;
    envelope.reserve(kPrefix.size() + result.size() + 1);
    envelope.assign(kPrefix);
    envelope += result;
    envelope += '}';
    return envelope;
}

// Whether this request's answer goes gzip-compressed.
bool compressesAnswer(const std::string& envelope) {
    return t_acceptsGzip && envelope.size() >= kCompressedAnswerBytes;
}

std::string compressedAnswer(const std::string& envelope) {
    // zlib's fastest level: the recipe list of 10,000 recipes (1.4 MB) in about 30 ms instead
    // of 70, for a few percent more bytes (its hashes hardly compress).
    return gzipCompress(envelope, 1);
}

void markGzipped(httplib::Response& response) {
    response.set_header("Content-Encoding", "gzip");
    response.set_header("Vary", "Accept-Encoding");
}

void sendEnvelope(httplib::Response& response, std::string body, bool gzipped) {
    response.status = 200;
    response.body = std::move(body);
    response.set_header("Content-Type", "application/json");
    if (gzipped) {
        markGzipped(response);
    }
}

// The one place an answer becomes HTTP: the status of its kind and the envelope.
void respond(httplib::Response& response, const ApiResult<std::string>& result) {
    if (result) {
        std::string envelope = envelopeOf(*result);
        if (compressesAnswer(envelope)) {
            sendEnvelope(response, compressedAnswer(envelope), true);
        } else {
            sendEnvelope(response, std::move(envelope), false);
        }
        return;
    }
    response.status = apiErrorStatus(result.error().kind);
    response.set_content(errorEnvelope(result.error()), "application/json");
    if (result.error().kind == ApiErrorKind::Unauthorized) {
        response.set_header("WWW-Authenticate", "Basic realm=\"Miravel\", charset=\"UTF-8\"");
    }
}

// What a log line may show of a path: no control characters (a decoded "%0a" would start a
// forged line), and not without end.
std::string loggablePath(std::string_view path) {
    std::string shown;
    for (char c : path.substr(0, 200)) {
        const auto byte = static_cast<unsigned char>(c);
        shown += (byte < 0x20 || byte == 0x7f) ? '?' : c;
    }
    if (path.size() > 200) {
        shown += "...";
    }
    return shown;
}

std::optional<EntityKind> listKind(std::string_view word) {
    for (EntityKind kind : {EntityKind::Categories, EntityKind::Groceries, EntityKind::Meals,
                            EntityKind::Bookmarks}) {
        if (entityKindName(kind) == word) {
            return kind;
        }
    }
    return std::nullopt;
}

// Whether an Accept-Encoding value takes gzip: a "gzip" (or "x-gzip") entry whose weight is
// not zero.
bool acceptsGzip(std::string_view value) {
    while (!value.empty()) {
        const auto comma = value.find(',');
        std::string_view entry = value.substr(0, comma);
        value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
        const auto semicolon = entry.find(';');
        std::string_view coding = entry.substr(0, semicolon);
        std::string_view parameters =
            semicolon == std::string_view::npos ? std::string_view() : entry.substr(semicolon + 1);
        const auto trim = [](std::string_view text) {
            const auto first = text.find_first_not_of(" \t");
            if (first == std::string_view::npos) {
                return std::string_view();
            }
            return text.substr(first, text.find_last_not_of(" \t") - first + 1);
        };
        coding = trim(coding);
        std::string lower(coding);
        for (char& c : lower) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        if (lower != "gzip" && lower != "x-gzip") {
            continue;
        }
        parameters = trim(parameters);
        if (parameters.starts_with("q=") || parameters.starts_with("Q=")) {
            const std::string_view weight = parameters.substr(2);
            if (weight.find_first_not_of("0.") == std::string_view::npos) {
                return false;
            }
        }
        return true;
    }
    return false;
}

// The library listens with a backlog of 5: fifty clients connecting at once overflow it, and
// a connection the kernel dropped after the handshake fails the client's first request a
// second later. Listening again on the same socket raises the backlog.
class ListeningServer : public httplib::Server {
public:
    bool raiseBacklog() { return ::listen(svr_sock_, SOMAXCONN) == 0; }

    // The library's loop over a kept-alive connection, over bytes in memory: requests are
    // read and answered until the bytes end, a request closes the connection, or as many as
    // a connection may carry have been answered.
    std::string serveBytes(std::string_view bytes, const std::string& remoteAddress) {
        MemoryStream stream(bytes, remoteAddress);
        for (std::size_t left = keep_alive_max_count_; left > 0 && stream.hasInput(); --left) {
            bool closed = false;
            if (!process_request(stream, left == 1, closed, nullptr) || closed) {
                break;
            }
        }
        return std::move(stream.written);
    }

private:
    class MemoryStream final : public httplib::Stream {
    public:
        MemoryStream(std::string_view input, std::string remoteAddress)
            : m_input(input), m_remoteAddress(std::move(remoteAddress)) {}

        bool hasInput() const { return !m_input.empty(); }
        bool is_readable() const override { return true; }
        bool is_writable() const override { return true; }
        ssize_t read(char* data, std::size_t size) override {
            const std::size_t taken = std::min(size, m_input.size());
            std::copy_n(m_input.data(), taken, data);
            m_input.remove_prefix(taken);
            return static_cast<ssize_t>(taken);
        }
        ssize_t write(const char* data, std::size_t size) override {
            written.append(data, size);
            return static_cast<ssize_t>(size);
        }
        void get_remote_ip_and_port(std::string& ip, int& port) const override {
            ip = m_remoteAddress;
            port = 40000;
        }
        void get_local_ip_and_port(std::string& ip, int& port) const override {
            ip = "127.0.0.1";
            port = 80;
        }
        socket_t socket() const override { return INVALID_SOCKET; }

        std::string written;

    private:
        std::string_view m_input;
        std::string m_remoteAddress;
    };
};

}  // namespace

class MiravelServer::Impl {
public:
    Impl(MiravelServer& owner, Storage& storage, PhotoFiles& photos)
        : m_owner(owner),
          m_storage(storage),
          m_accountController(*owner.m_accounts),
          m_syncController(storage, photos, owner.m_options),
          m_photoController(storage, photos),
          m_pageController(owner.m_options),
          m_webController(storage, *owner.m_accounts),
          m_lists(owner.m_options.listCacheBytes) {
        configure();
        route();
    }

    ListeningServer server;

private:
    const ServerOptions& options() const { return m_owner.m_options; }

    std::string clientAddress(const httplib::Request& request) const {
        if (!options().trustedProxy.empty() && request.remote_addr == options().trustedProxy) {
            const std::string forwarded = request.get_header_value("X-Forwarded-For");
            if (!forwarded.empty()) {
                // The proxy appends the address it saw; anything before it the client wrote.
                auto last = forwarded.substr(forwarded.rfind(',') + 1);
                const auto first = last.find_first_not_of(' ');
                return first == std::string::npos ? request.remote_addr : last.substr(first);
            }
        }
        return request.remote_addr;
    }

    ApiResult<Account> authenticate(const httplib::Request& request) {
        const std::string header = request.get_header_value("Authorization");
        constexpr std::string_view kBasic = "Basic ";
        const auto refused = [] {
            return apiError(ApiErrorKind::Unauthorized,
                            "This request needs the account's email address and password.");
        };
        if (header.size() <= kBasic.size() || header.compare(0, kBasic.size(), kBasic) != 0) {
            return refused();
        }
        auto decoded = base64Decode(std::string_view(header).substr(kBasic.size()));
        if (!decoded) {
            return refused();
        }
        const auto colon = decoded->find(':');
        if (colon == std::string::npos) {
            return refused();
        }
        auto account = m_owner.m_accounts->login(
            decoded->substr(0, colon), decoded->substr(colon + 1), clientAddress(request));
        if (!account && account.error().kind == ApiErrorKind::LoginFailed) {
            return apiError(ApiErrorKind::Unauthorized, account.error().message);
        }
        return account;
    }

    // The request's account, or nothing with the refusal written into the response.
    std::optional<Account> accountOrRefusal(const httplib::Request& request,
                                            httplib::Response& response) {
        auto account = authenticate(request);
        if (!account) {
            respond(response, std::unexpected(account.error()));
            return std::nullopt;
        }
        return std::move(*account);
    }

    template <typename Handler>
    auto authenticated(Handler handler) {
        return [this, handler](const httplib::Request& request, httplib::Response& response) {
            if (auto account = accountOrRefusal(request, response)) {
                respond(response, handler(account->id, request));
            }
        };
    }

    // A sync list, from the cache while the account's revision (read as the request was
    // authenticated, before the list is) is the one its answer was built at.
    template <typename Build>
    auto cachedList(Build build) {
        return [this, build](const httplib::Request& request, httplib::Response& response) {
            auto account = accountOrRefusal(request, response);
            if (!account) {
                return;
            }
            const EntityKind list = listOfPath(request);
            auto answer = m_lists.find(account->id, list, account->revision);
            bool made = false;
            if (!answer) {
                auto result = build(account->id, list);
                if (!result) {
                    respond(response, std::unexpected(result.error()));
                    return;
                }
                answer = std::make_shared<const ListCache::Answer>(
                    ListCache::Answer{envelopeOf(*result), std::string()});
                made = true;
            }
            const bool gzipped = compressesAnswer(answer->plain);
            if (gzipped && answer->gzipped.empty()) {
                answer = std::make_shared<const ListCache::Answer>(
                    ListCache::Answer{answer->plain, compressedAnswer(answer->plain)});
                made = true;
            }
            if (made) {
                m_lists.store(account->id, list, account->revision, answer);
            }
            // Written from the cached text itself, not from a copy in the response.
            const std::string* body = gzipped ? &answer->gzipped : &answer->plain;
            response.status = 200;
            if (gzipped) {
                markGzipped(response);
            }
            response.set_content_provider(
                body->size(), "application/json",
                [answer, body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                    return sink.write(body->data() + offset, body->size() - offset);
                });
        };
    }

    static EntityKind listOfPath(const httplib::Request& request) {
        return request.matches.size() > 1 ? listKind(request.matches[1].str()).value()
                                          : EntityKind::Recipes;
    }

    static void refuseAndClose(httplib::Response& response, ApiErrorKind kind,
                               std::string message) {
        respond(response, apiError(kind, std::move(message)));
        // The body was not read: on a kept-alive connection it would be taken for the next
        // request. The HTTP library keeps a connection open whatever the response says, but
        // drops it when a content provider fails, so the answer is sent by one that writes
        // it whole and then reports failure.
        response.set_header("Connection", "close");
        auto body = std::make_shared<std::string>(std::move(response.body));
        response.body.clear();
        response.headers.erase("Content-Type");
        response.set_content_provider(
            body->size(), "application/json",
            [body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                sink.write(body->data() + offset, body->size() - offset);
                return false;
            });
    }

    void configure() {
        const int threads = options().threads;
        if (threads > 0) {
            server.new_task_queue = [threads] {
                return new httplib::ThreadPool(static_cast<std::size_t>(threads));
            };
        }
        server.set_payload_max_length(options().limits.maxBodyBytes);
        // The library writes a response's headers and body separately: with Nagle's algorithm
        // the body then waits for the client's delayed acknowledgement, 40 ms a request.
        server.set_tcp_nodelay(true);
        server.set_read_timeout(30);
        server.set_write_timeout(30);
        server.set_keep_alive_timeout(5);
        server.set_keep_alive_max_count(1000);

        server.set_pre_routing_handler([this](const httplib::Request& request,
                                              httplib::Response& response) {
            t_requestStart = Clock::now();
            // The library would answer "br" with Brotli at its slowest quality (half a second
            // for the recipe list of a thousand recipes, far longer than sending it plain) and
            // gzip at zlib's default level. The API's answers are compressed by respond(), at
            // the fastest level; the library sees no Accept-Encoding at all. The request is
            // the library's own object, only handed to us as const.
            auto& headers = const_cast<httplib::Headers&>(request.headers);
            t_acceptsGzip = false;
            auto [first, last] = headers.equal_range("Accept-Encoding");
            for (auto it = first; it != last; ++it) {
                t_acceptsGzip = t_acceptsGzip || acceptsGzip(it->second);
            }
            headers.erase("Accept-Encoding");
            if (request.headers.size() > options().limits.maxHeaders) {
                refuseAndClose(response, ApiErrorKind::TooLarge,
                               "The request has too many headers.");
                return httplib::Server::HandlerResponse::Handled;
            }
            if (request.has_header("Transfer-Encoding")) {
                refuseAndClose(response, ApiErrorKind::UnsupportedEncoding,
                               "Request bodies must be sent with a Content-Length.");
                return httplib::Server::HandlerResponse::Handled;
            }
            if (request.has_header("Content-Encoding")) {
                refuseAndClose(response, ApiErrorKind::UnsupportedEncoding,
                               "Request bodies must not be content-encoded.");
                return httplib::Server::HandlerResponse::Handled;
            }
            if (request.get_header_value_count("Content-Length") > 1) {
                refuseAndClose(response, ApiErrorKind::UnsupportedEncoding,
                               "The request has more than one Content-Length.");
                return httplib::Server::HandlerResponse::Handled;
            }
            if (request.has_header("Content-Length")) {
                const std::string text = request.get_header_value("Content-Length");
                std::size_t length = 0;
                const auto [end, error] =
                    std::from_chars(text.data(), text.data() + text.size(), length);
                if (error != std::errc() || end != text.data() + text.size()) {
                    refuseAndClose(response, ApiErrorKind::UnsupportedEncoding,
                                   "The Content-Length is not a number.");
                    return httplib::Server::HandlerResponse::Handled;
                }
                if (length > options().limits.maxBodyBytes) {
                    refuseAndClose(response, ApiErrorKind::TooLarge, "The request is too large.");
                    return httplib::Server::HandlerResponse::Handled;
                }
            }
            return httplib::Server::HandlerResponse::Unhandled;
        });

        server.set_exception_handler([](const httplib::Request&, httplib::Response& response,
                                        std::exception_ptr thrown) {
            std::string what = "unknown exception";
            try {
                if (thrown) {
                    std::rethrow_exception(thrown);
                }
            } catch (const std::exception& exception) {
                what = exception.what();
            } catch (...) {
            }
            logLine("Server error: {}", what);
            respond(response,
                    apiError(ApiErrorKind::Internal, "The server could not complete the request."));
        });

        server.set_error_handler(httplib::Server::HandlerWithResponse(
            [](const httplib::Request&, httplib::Response& response) {
                // Answers of our own (an envelope, or one written by a content provider) stay.
                if (!response.body.empty() || response.content_length_ > 0) {
                    return httplib::Server::HandlerResponse::Unhandled;
                }
                const int status = response.status;
                const auto kind = status == 404   ? ApiErrorKind::NotFound
                                  : status == 413 ? ApiErrorKind::TooLarge
                                                  : ApiErrorKind::BadRequest;
                respond(response, apiError(kind, status == 404 ? "There is nothing at this address."
                                                               : "The request could not be read."));
                response.status = status;
                return httplib::Server::HandlerResponse::Handled;
            }));

        server.set_logger(
            [this](const httplib::Request& request, const httplib::Response& response) {
                const auto elapsed =
                    t_requestStart ? Clock::now() - *t_requestStart : Clock::duration();
                t_requestStart.reset();
                logLine("{} {} {} {} {:.1f} ms", clientAddress(request), request.method,
                        loggablePath(request.path), response.status,
                        std::chrono::duration<double, std::milli>(elapsed).count());
            });
    }

    // The page's data requests: the session's account, and for changes its CSRF token too.
    template <typename Handler>
    auto webSession(bool change, Handler handler) {
        return
            [this, change, handler](const httplib::Request& request, httplib::Response& response) {
                auto session = change ? m_webController.sessionForChange(request)
                                      : m_webController.session(request);
                response.set_header("Cache-Control", "no-store");
                if (!session) {
                    respondToPage(response, std::unexpected(session.error()));
                    return;
                }
                respondToPage(response, handler(session->accountId, request));
            };
    }

    // The browser answers a Basic challenge with its own password dialog, over the page's
    // sign-in form; the page signs in by itself.
    static void respondToPage(httplib::Response& response, const ApiResult<std::string>& result) {
        respond(response, result);
        response.headers.erase("WWW-Authenticate");
    }

    std::string sessionCookie(const std::string& token, std::int64_t maxAge) const {
        const bool secure = options().baseUrl.starts_with("https:");
        return fmt::format("{}={}; Path=/app/; Max-Age={}; HttpOnly; SameSite=Strict{}",
                           kSessionCookie, token, maxAge, secure ? "; Secure" : "");
    }

    // A page compiled into the program: compressed once, at the slowest level, for every request
    // that takes gzip (the phone's page is 15 KB plain, a third of that compressed).
    static httplib::Server::Handler staticText(std::string_view text, const char* type) {
        auto gzipped = std::make_shared<const std::string>(gzipCompress(text, 9));
        return [text, type, gzipped](const httplib::Request&, httplib::Response& response) {
            response.set_header("Vary", "Accept-Encoding");
            if (t_acceptsGzip) {
                response.set_header("Content-Encoding", "gzip");
                response.set_content(*gzipped, type);
            } else {
                response.set_content(std::string(text), type);
            }
            response.set_header("Cache-Control", "no-cache");
            response.set_header("X-Content-Type-Options", "nosniff");
            response.set_header("Content-Security-Policy",
                                "default-src 'self'; script-src 'self' 'unsafe-inline'; "
                                "style-src 'unsafe-inline'; img-src 'self' data:; "
                                "frame-ancestors 'none'");
        };
    }

    void routeWebApp() {
        server.Get("/app", [](const httplib::Request&, httplib::Response& response) {
            response.set_redirect("/app/");
        });
        server.Get("/app/", staticText(webAppPage(), "text/html; charset=utf-8"));
        server.Get("/app/worker.js", staticText(webAppWorker(), "text/javascript"));
        server.Post("/app/session", [this](const httplib::Request& request,
                                           httplib::Response& response) {
            auto signedIn = m_webController.signIn(request, clientAddress(request));
            if (!signedIn) {
                respond(response, std::unexpected(signedIn.error()));
                return;
            }
            response.set_header("Set-Cookie",
                                sessionCookie(signedIn->sessionToken, kWebSessionSeconds));
            respond(response,
                    strictJson(JsonValue(JsonObject{{"csrf", JsonValue(signedIn->csrfToken)}})));
        });
        server.Get("/app/session",
                   webSession(false, [this](std::int64_t, const httplib::Request& request) {
                       auto session = m_webController.session(request);
                       return ApiResult<std::string>(strictJson(
                           JsonValue(JsonObject{{"csrf", JsonValue(session->csrfToken)}})));
                   }));
        server.Post("/app/session/end",
                    [this](const httplib::Request& request, httplib::Response& response) {
                        auto ended = m_webController.signOut(request);
                        if (!ended) {
                            respondToPage(response, std::unexpected(ended.error()));
                            return;
                        }
                        response.set_header("Set-Cookie", sessionCookie("", 0));
                        respond(response, std::string("true"));
                    });
        server.Get("/app/groceries",
                   webSession(false, [this](std::int64_t account, const httplib::Request& request) {
                       return m_webController.groceries(account, request);
                   }));
        server.Post("/app/groceries/purchased",
                    webSession(true, [this](std::int64_t account, const httplib::Request& request) {
                        return m_webController.setPurchased(account, request);
                    }));
        server.Post("/app/groceries/new",
                    webSession(true, [this](std::int64_t account, const httplib::Request& request) {
                        return m_webController.addItem(account, request);
                    }));
        server.Get("/app/meals",
                   webSession(false, [this](std::int64_t account, const httplib::Request& request) {
                       return m_webController.meals(account, request);
                   }));
        server.Get("/app/recipe/([^/]*)",
                   webSession(false, [this](std::int64_t account, const httplib::Request& request) {
                       const std::string uid = request.matches[1].str();
                       if (!isValidUid(uid)) {
                           return ApiResult<std::string>(
                               apiError(ApiErrorKind::BadRequest, "The uid is not valid."));
                       }
                       return m_webController.recipe(account, uid);
                   }));
    }

    void route() {
        routeWebApp();
        server.Get("/sites", [](const httplib::Request&, httplib::Response& response) {
            response.set_redirect("/sites/");
        });
        server.Get("/sites/", staticText(supportedSitesPage(), "text/html; charset=utf-8"));
        server.Get("/healthz", [this](const httplib::Request&, httplib::Response& response) {
            auto checked = m_storage.findAccount("");
            response.status = checked ? 200 : 503;
            response.set_content(checked ? "ok\n" : "storage unavailable\n", "text/plain");
        });
        server.Post("/account/login/", [this](const httplib::Request& request,
                                              httplib::Response& response) {
            respond(response, m_accountController.login(request, clientAddress(request)));
        });
        server.Post("/account/register/", [this](const httplib::Request& request,
                                                 httplib::Response& response) {
            respond(response, m_accountController.registerAccount(request, clientAddress(request)));
        });
        server.Post("/recipe/",
                    [this](const httplib::Request& request, httplib::Response& response) {
                        respond(response, m_pageController.parse(request));
                    });
        server.Get("/sync/(categories|groceries|meals|bookmarks)/",
                   cachedList([this](std::int64_t account, EntityKind kind) {
                       return m_syncController.list(account, kind);
                   }));
        server.Post("/sync/(categories|groceries|meals|bookmarks)/",
                    authenticated([this](std::int64_t account, const httplib::Request& request) {
                        return m_syncController.update(account, *listKind(request.matches[1].str()),
                                                       request);
                    }));
        server.Get("/sync/recipes/", cachedList([this](std::int64_t account, EntityKind) {
                       return m_syncController.recipes(account);
                   }));
        server.Get("/sync/recipe/([^/]*)/",
                   authenticated([this](std::int64_t account, const httplib::Request& request) {
                       const std::string uid = request.matches[1].str();
                       if (!isValidUid(uid)) {
                           return ApiResult<std::string>(
                               apiError(ApiErrorKind::BadRequest, "The uid is not valid."));
                       }
                       return m_syncController.recipe(account, uid);
                   }));
        server.Post("/sync/recipe/([^/]*)/",
                    authenticated([this](std::int64_t account, const httplib::Request& request) {
                        const std::string uid = request.matches[1].str();
                        if (!isValidUid(uid)) {
                            return ApiResult<std::string>(
                                apiError(ApiErrorKind::BadRequest, "The uid is not valid."));
                        }
                        return m_syncController.updateRecipe(account, uid, request);
                    }));
        server.Get("/photos/([0-9a-f]{32})",
                   [this](const httplib::Request& request, httplib::Response& response) {
                       auto photo = m_photoController.photo(request.matches[1].str());
                       if (!photo) {
                           respond(response, std::unexpected(photo.error()));
                           return;
                       }
                       response.status = 200;
                       response.set_header("Cache-Control", "private, max-age=31536000, immutable");
                       response.set_content(std::move(photo->bytes), photo->mediaType.c_str());
                   });
    }

    MiravelServer& m_owner;
    Storage& m_storage;
    AccountController m_accountController;
    SyncController m_syncController;
    PhotoController m_photoController;
    RecipePageController m_pageController;
    WebAppController m_webController;
    ListCache m_lists;
};

MiravelServer::MiravelServer(ServerOptions options, Storage& storage, PhotoFiles& photos)
    : m_options(std::move(options)),
      m_hasher(std::make_unique<PasswordHasher>(m_options.passwordCost)),
      m_accounts(std::make_unique<AccountService>(storage, *m_hasher, m_options.registration)),
      m_impl(std::make_unique<Impl>(*this, storage, photos)) {}

MiravelServer::~MiravelServer() = default;

Result<int> MiravelServer::bind(const std::string& host, int port) {
    int bound = port;
    if (port == 0) {
        bound = m_impl->server.bind_to_any_port(host);
        if (bound < 0) {
            return makeError("miravel.server", 1, fmt::format("Could not listen on {}.", host));
        }
    } else if (!m_impl->server.bind_to_port(host, port)) {
        return makeError("miravel.server", 1,
                         fmt::format("Could not listen on {}:{}.", host, port));
    }
    if (!m_impl->server.raiseBacklog()) {
        logLine("The listening backlog stays at the HTTP library's 5 connections");
    }
    if (m_options.baseUrl.empty()) {
        const bool ipv6 = host.find(':') != std::string::npos;
        m_options.baseUrl =
            fmt::format("http://{}{}{}:{}", ipv6 ? "[" : "", host, ipv6 ? "]" : "", bound);
    }
    while (!m_options.baseUrl.empty() && m_options.baseUrl.back() == '/') {
        m_options.baseUrl.pop_back();
    }
    return bound;
}

void tuneAllocatorForServing() {
    // Each request builds and drops bodies of tens of kilobytes; glibc would hand that memory
    // back to the system after every one and fault it in again for the next.
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
    mallopt(M_MMAP_THRESHOLD, 4 * 1024 * 1024);
}

void MiravelServer::run() {
    m_impl->server.listen_after_bind();
}

std::string MiravelServer::serveBytes(std::string_view bytes, const std::string& remoteAddress) {
    return m_impl->server.serveBytes(bytes, remoteAddress);
}

void MiravelServer::stop() {
    m_impl->server.stop();
}

}  // namespace miravel::server
