#include "server/PostgresStorage.h"

#include "server/StorageSupport.h"

namespace miravel::server {

Result<std::unique_ptr<Storage>> openPostgresStorage(const std::string&) {
    return storageError("PostgreSQL storage is not available in this build.");
}

}  // namespace miravel::server
