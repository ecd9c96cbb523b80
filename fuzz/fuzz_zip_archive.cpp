#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "lib/AtomicFile.h"
#include "lib/ZipArchive.h"

// A recipe archive or backup is read from a file; every entry of any bytes must read or fail
// within the limits, never overrun.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/miravel-fuzz-zip-" + std::to_string(::getpid());
    if (!miravel::writeFileAtomically(
            path, std::string_view(reinterpret_cast<const char*>(data), size))) {
        return 0;
    }
    auto reader = miravel::ZipReader::open(
        path, {.maxEntrySize = 1 << 20, .maxTotalSize = 1 << 24, .maxEntries = 1000});
    if (reader) {
        for (std::size_t index = 0; index < reader->entries().size(); ++index) {
            (void)reader->read(index);
        }
    }
    return 0;
}
