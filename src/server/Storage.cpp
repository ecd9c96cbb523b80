#include "server/Storage.h"

#include "server/PostgresStorage.h"
#include "server/SqliteStorage.h"
#include "server/StorageSupport.h"

namespace miravel::server {

Result<std::unique_ptr<Storage>> openStorage(const std::string& address, StorageClock clock) {
    constexpr std::string_view kSqlite = "sqlite:";
    if (address.starts_with(kSqlite) && address.size() > kSqlite.size()) {
        return openSqliteStorage(address.substr(kSqlite.size()), std::move(clock));
    }
    if (address.starts_with("postgresql://") || address.starts_with("postgres://")) {
        return openPostgresStorage(address, std::move(clock));
    }
    return storageError("The database must be given as sqlite:PATH or postgresql://...");
}

}  // namespace miravel::server
