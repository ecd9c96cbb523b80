#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "lib/Error.h"
#include "store/EntityDescription.h"

namespace miravel {

class Database;

// Error domain of a store conversion; the description is the message the user is shown.
inline constexpr const char* kConversionErrorDomain = "miravel.conversion";
enum class ConversionErrorCode {
    Metadata = 1,
    SourceModel = 2,
    Mapping = 3,
    Migration = 4,
    MovingIntoPlace = 5,
};

// One step from a layout version of a model to the next: statements (no parameters) that
// turn the tables of `fromVersion` into those of `fromVersion + 1`. They run on a copy of
// the store, inside one transaction with every other step of the conversion.
struct ConversionStep {
    int fromVersion = 0;
    std::string sql;
};

// The current model and the steps that lead to it from each earlier layout it still reads.
struct ModelVersions {
    const ManagedObjectModel* current = nullptr;
    std::vector<ConversionStep> steps;
};

// The layout version a store file says it has, read without changing it; an error (with
// SQLite's reason) when the file cannot be read as a database.
struct StoreVersion {
    std::int32_t applicationId = 0;
    std::int32_t modelVersion = 0;
};
[[nodiscard]] Result<StoreVersion> readStoreVersion(const std::filesystem::path& file);

// Whether a database holds every table and column of `model`; the first one missing, said
// as "table Recipe has no column photo", otherwise.
[[nodiscard]] Result<void> checkStoreTables(Database& database, const ManagedObjectModel& model);

// "Miravel.sqlite.tmp": where a conversion builds the new store.
std::filesystem::path conversionTarget(const std::filesystem::path& store);
// "Miravel.sqlite.version-<n>": the store as it was before the last conversion, kept after it.
std::filesystem::path conversionBackup(const std::filesystem::path& store, int version);

struct ConversionResult {
    int fromVersion = 0;
    // The original store, kept; empty when nothing needed converting.
    std::filesystem::path backup;
};

// Converts the store at `store` from the layout it was written with to `versions.current`.
// The new store is built in conversionTarget() (a leftover one is replaced): a snapshot of
// the original, the steps run on it, then opened as a store of the current model and
// checked. Only then does it replace the original, which is kept as conversionBackup()
// (one such copy: those of earlier conversions are removed). Any failure leaves the
// original in place and reports the message to show. `progress` hears fractions from 0 to
// 1 on the calling thread.
[[nodiscard]] Result<ConversionResult> convertStore(
    const std::filesystem::path& store, const ModelVersions& versions,
    const std::function<void(double)>& progress = {});

}  // namespace miravel
