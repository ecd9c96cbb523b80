#pragma once

#include <memory>
#include <string>

#include "server/Storage.h"

namespace miravel::server {

// PostgreSQL through libpq, for several server processes on one database. `address` is a
// libpq connection URI.
[[nodiscard]] Result<std::unique_ptr<Storage>> openPostgresStorage(const std::string& address,
                                                                   StorageClock clock = {});

}  // namespace miravel::server
