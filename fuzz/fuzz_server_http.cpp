// Whole requests to a running server: the HTTP library's request, form and multipart parsing,
// the refusals before routing, and the controllers behind them, over a real loopback socket.
// A crash, or a server that stops answering, is a fault.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "lib/Log.h"
#include "server/MiravelServer.h"
#include "server/PhotoFiles.h"
#include "server/Storage.h"

using namespace miravel;
using namespace miravel::server;

namespace {

struct Running {
    std::unique_ptr<Storage> storage;
    std::unique_ptr<PhotoFiles> photos;
    std::unique_ptr<MiravelServer> server;
    int port = 0;
};

Running& running() {
    static Running* instance = [] {
        setLogSink([](std::string_view) {});
        auto* made = new Running;
        char folder[] = "/tmp/miravel-fuzz-server-XXXXXX";
        if (!mkdtemp(folder)) {
            std::abort();
        }
        auto storage = openStorage(std::string("sqlite:") + folder + "/server.db");
        if (!storage) {
            std::abort();
        }
        made->storage = std::move(*storage);
        made->photos = std::make_unique<PhotoFiles>(std::filesystem::path(folder) / "photos");
        ServerOptions options;
        options.registration = RegistrationPolicy::Open;
        options.threads = 4;
        options.passwordCost = {1, 8192};
        options.limits.maxBodyBytes = 1 << 20;
        options.recipePage = [](std::string_view, std::string_view url) -> ApiResult<JsonObject> {
            return JsonObject{{"source_url", JsonValue(url)}};
        };
        made->server = std::make_unique<MiravelServer>(options, *made->storage, *made->photos);
        (void)made->server->accounts().createAccount("fuzz@example.org", "fuzz-password");
        auto port = made->server->bind("127.0.0.1", 0);
        if (!port) {
            std::abort();
        }
        made->port = *port;
        std::thread([made] { made->server->run(); }).detach();
        return made;
    }();
    return *instance;
}

std::string exchange(int port, std::string_view bytes) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return {};
    }
    timeval timeout{0, 200000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    (void)::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    ::shutdown(fd, SHUT_WR);
    std::string received;
    char buffer[4096];
    ssize_t count = 0;
    while ((count = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
        received.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(fd);
    return received;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Running& server = running();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string reply = exchange(server.port, bytes);
    // Whatever came before, the next well-formed request is answered.
    if (exchange(server.port, "GET /healthz HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
            .find("ok") == std::string::npos) {
        std::abort();
    }
    return 0;
}
