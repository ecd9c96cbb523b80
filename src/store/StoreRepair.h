#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "lib/Error.h"
#include "store/EntityDescription.h"

namespace miravel {

struct StoreRepair {
    // The store was sound: nothing was changed.
    bool wasSound = false;
    // Where the damaged file now is, beside the new store.
    std::filesystem::path damagedCopy;
    // Per table of the new store, the rows copied into it.
    std::vector<std::pair<std::string, std::int64_t>> recovered;
};

// Copies every row SQLite can still read from the damaged store `file` into a new store of
// `model`, which takes the file's place; the damaged file, and the log beside it, are kept
// under the suffix ".damaged-<UTC time>". Refused, with the reason and the file left as it
// was, when there is no file, when it is not a database at all, when it belongs to another
// program, or when nothing of it can be read.
[[nodiscard]] Result<StoreRepair> repairStore(const std::filesystem::path& file,
                                              const ManagedObjectModel& model);

}  // namespace miravel
