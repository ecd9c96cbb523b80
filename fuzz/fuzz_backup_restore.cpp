#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "lib/AtomicFile.h"
#include "model/LibraryBackup.h"
#include "model/MiravelObjectModel.h"

namespace fs = std::filesystem;

// A backup chosen by the user is untrusted: whatever its entry names, sizes or truncation, a
// restore either puts a library of plain photo and store files in place or changes nothing,
// and never writes beside the library.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fs::path home = "/tmp/miravel-fuzz-restore-" + std::to_string(::getpid());
    std::error_code error;
    fs::remove_all(home, error);
    fs::create_directories(home / "data", error);
    const fs::path archive = home / "backup.miravelbak";
    if (!miravel::writeFileAtomically(
            archive, std::string_view(reinterpret_cast<const char*>(data), size))) {
        return 0;
    }
    // The listing of a backups folder reads any file there, recorded count or store.
    (void)miravel::recipesInBackup(archive);
    const fs::path library = home / "data" / "Miravel";
    auto restored =
        miravel::restoreLibraryBackup(library, archive, miravel::miravelModelVersions());
    for (const auto& entry : fs::directory_iterator(home / "data")) {
        if (entry.path() != library) {
            std::abort();  // something was left or written beside the library
        }
    }
    if (restored) {
        for (const auto& entry : fs::directory_iterator(library)) {
            const std::string name = entry.path().filename().string();
            if (!miravel::isBackupEntryName(name) && !name.starts_with("Miravel.sqlite-")) {
                std::abort();
            }
        }
    } else if (fs::exists(library)) {
        std::abort();  // a failed restore into no library made one
    }
    return 0;
}
