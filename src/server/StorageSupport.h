#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "lib/Error.h"

namespace miravel::server {

// The pieces both storages share: when a kept version may go, and reading a dictionary's
// hash back for a restore.
std::int64_t historyCutoff(std::int64_t nowSeconds);
std::int64_t nowSeconds();
std::string dateTextOfSeconds(std::int64_t seconds);
// The "hash" member of a stored dictionary text ("" when it has none).
std::string hashOfBody(std::string_view body);

std::unexpected<Error> storageError(std::string description, int code = 1);

}  // namespace miravel::server
