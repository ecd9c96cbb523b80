// The server's readers of what clients upload: a "data" part (gzip or JSON) and each kind's
// dictionaries. The first byte picks the kind; the rest is the part's bytes.

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string_view>

#include "server/Entities.h"

using namespace miravel::server;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const auto kind = static_cast<EntityKind>(data[0] % 5);
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    // A small cap, so that the fuzzer finds the limit rather than exhausting memory.
    auto json = readDataPart(bytes, 1 << 20);
    if (!json) {
        return 0;
    }
    if (kind == EntityKind::Recipes) {
        auto recipe = readRecipe(*json);
        if (recipe && !isValidUid(recipe->uid)) {
            std::abort();
        }
        return 0;
    }
    auto records = readEntityList(kind, *json);
    if (!records) {
        return 0;
    }
    std::set<std::string> uids;
    for (const auto& record : *records) {
        // Everything accepted has a valid uid, once.
        if (!isValidUid(record.uid) || !uids.insert(record.uid).second) {
            std::abort();
        }
    }
    return 0;
}
