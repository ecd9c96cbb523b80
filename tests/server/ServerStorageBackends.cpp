#include "ServerFixture.h"

namespace miravel::server::testing {

std::string databaseAddressFor(const std::string& backend, const std::filesystem::path& folder) {
    if (backend == "sqlite") {
        return "sqlite:" + (folder / "server.db").string();
    }
    return {};
}

std::string backendUnavailableReason(const std::string& backend) {
    if (backend == "sqlite") {
        return {};
    }
    return "unknown storage " + backend;
}

}  // namespace miravel::server::testing
