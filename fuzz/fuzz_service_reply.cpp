#include <cstdint>
#include <cstdlib>
#include <string>

#include "sync/MiravelService.h"

// The client's reader of the server's answers: the first two bytes pick the HTTP status, the
// rest is the body. Whatever arrives, the reader gives a value or an error, never a crash.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    miravel::HttpReply reply;
    reply.status = 100 + (data[0] | (data[1] << 8)) % 500;
    reply.body.assign(reinterpret_cast<const char*>(data + 2), size - 2);
    auto result = miravel::readServiceReply(reply);
    if (result && reply.status > 399) {
        std::abort();
    }
    return 0;
}
