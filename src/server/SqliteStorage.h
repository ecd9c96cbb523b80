#pragma once

#include <filesystem>
#include <memory>

#include "server/Storage.h"

namespace miravel::server {

// The default storage: one SQLite file with a write-ahead log, so readers never wait for the
// writer; several processes may share it on one machine.
[[nodiscard]] Result<std::unique_ptr<Storage>> openSqliteStorage(const std::filesystem::path& file,
                                                                 StorageClock clock = {});

}  // namespace miravel::server
