#include "store/StoreConversion.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <system_error>

#include "lib/AtomicFile.h"
#include "lib/Log.h"
#include "store/Database.h"
#include "store/PersistentStoreCoordinator.h"
#include "store/SqlValue.h"
#include "store/Transaction.h"

namespace miravel {

namespace {

std::unexpected<Error> conversionError(ConversionErrorCode code, std::string message) {
    return makeError(kConversionErrorDomain, code, std::move(message));
}

std::filesystem::path withSuffix(const std::filesystem::path& file, const std::string& suffix) {
    std::filesystem::path result = file;
    result += suffix;
    return result;
}

// Removes a file and the journal files SQLite may have left beside it. The first failure
// (other than there being no such file) is kept in `failure`.
void removeDatabaseFiles(const std::filesystem::path& file, std::string& failure) {
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
        const auto path = withSuffix(file, suffix);
        if (::unlink(path.c_str()) != 0 && errno != ENOENT && failure.empty()) {
            failure = "Could not delete \"" + path.string() + "\": " + std::strerror(errno);
        }
    }
}

Result<std::int64_t> readInteger(Database& database, const std::string& sql) {
    auto statement = database.prepare(sql);
    if (!statement) {
        return std::unexpected(statement.error());
    }
    auto row = statement->step();
    if (!row) {
        return std::unexpected(row.error());
    }
    return *row ? statement->columnInt64(0) : 0;
}

// Moves every commit still in the store's log into the file itself, so that the file alone
// is the whole store and no log is left behind to be read with another file of that name.
Result<void> checkpoint(const std::filesystem::path& store) {
    auto database = Database::open(store, Database::Access::ReadWrite);
    if (!database) {
        return std::unexpected(database.error());
    }
    database->setBusyTimeout(std::chrono::seconds(5));
    auto statement = database->prepare("PRAGMA wal_checkpoint(TRUNCATE)");
    if (!statement) {
        return std::unexpected(statement.error());
    }
    auto row = statement->step();
    if (!row) {
        return std::unexpected(row.error());
    }
    if (*row && statement->columnInt64(0) != 0) {
        return makeError(kSqliteErrorDomain, 5, "another program is using the library");
    }
    return {};
}

// Keeps the original store under `backup`: a second name for the same file when the file
// system allows it, else a copy.
Result<void> keepOriginal(const std::filesystem::path& store, const std::filesystem::path& backup) {
    std::error_code error;
    std::filesystem::remove(backup, error);
    if (::link(store.c_str(), backup.c_str()) == 0) {
        return {};
    }
    auto bytes = readFile(store);
    if (!bytes) {
        return std::unexpected(bytes.error());
    }
    return writeFileAtomically(backup, *bytes);
}

}  // namespace

Result<StoreVersion> readStoreVersion(const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        return makeError(kFileErrorDomain, ENOENT, "\"" + file.string() + "\" is not a file");
    }
    if (!Database::hasSqliteHeader(file)) {
        return makeError(kSqliteErrorDomain, 26, "\"" + file.string() + "\" is not a database");
    }
    auto database = Database::open(file, Database::Access::ReadOnly);
    if (!database) {
        return std::unexpected(database.error());
    }
    auto applicationId = readInteger(*database, "PRAGMA application_id");
    if (!applicationId) {
        return std::unexpected(applicationId.error());
    }
    auto modelVersion = readInteger(*database, "PRAGMA user_version");
    if (!modelVersion) {
        return std::unexpected(modelVersion.error());
    }
    return StoreVersion{static_cast<std::int32_t>(*applicationId),
                        static_cast<std::int32_t>(*modelVersion)};
}

Result<void> checkStoreTables(Database& database, const ManagedObjectModel& model) {
    auto columnsOf = [&](const std::string& table) -> Result<std::set<std::string>> {
        auto statement = database.prepare("SELECT name FROM pragma_table_info(?1)");
        if (!statement) {
            return std::unexpected(statement.error());
        }
        if (auto bound = statement->bindText(1, table); !bound) {
            return std::unexpected(bound.error());
        }
        std::set<std::string> columns;
        for (auto row = statement->step(); row && *row; row = statement->step()) {
            columns.emplace(statement->columnText(0));
        }
        return columns;
    };
    auto missing = [](std::string what) {
        return makeError(kStoreErrorDomain, StoreErrorCode::Damaged, std::move(what));
    };
    for (const auto& entity : model.entities()) {
        auto columns = columnsOf(entity.name);
        if (!columns) {
            return std::unexpected(columns.error());
        }
        if (columns->empty()) {
            return missing("it has no table " + entity.name);
        }
        for (const auto& attribute : entity.attributes) {
            if (!columns->contains(attribute.name)) {
                return missing("table " + entity.name + " has no column " + attribute.name);
            }
        }
        for (const auto& relationship : entity.relationships) {
            if (!relationship.toMany && !columns->contains(relationship.column)) {
                return missing("table " + entity.name + " has no column " + relationship.column);
            }
            if (relationship.isManyToMany()) {
                auto join = columnsOf(relationship.joinTable);
                if (!join) {
                    return std::unexpected(join.error());
                }
                if (!join->contains(relationship.joinColumn) ||
                    !join->contains(relationship.joinInverseColumn)) {
                    return missing("it has no table " + relationship.joinTable);
                }
            }
        }
    }
    return {};
}

std::filesystem::path conversionTarget(const std::filesystem::path& store) {
    return withSuffix(store, ".tmp");
}

std::filesystem::path conversionBackup(const std::filesystem::path& store, int version) {
    return withSuffix(store, ".version-" + std::to_string(version));
}

Result<ConversionResult> convertStore(const std::filesystem::path& store,
                                      const ModelVersions& versions,
                                      const std::function<void(double)>& progress) {
    auto report = [&](double fraction) {
        if (progress) {
            progress(fraction);
        }
    };
    const ManagedObjectModel& model = *versions.current;

    auto metadata = readStoreVersion(store);
    if (!metadata) {
        logLine("Error obtaining metadata: {}", metadata.error().description);
        return conversionError(
            ConversionErrorCode::Metadata,
            "Migration error. Error obtaining source metadata: " + metadata.error().description);
    }
    const int source = metadata->modelVersion;
    if (StoreMetadata{metadata->applicationId, source}.isMiravelStore() &&
        source == model.version()) {
        report(1.0);
        return ConversionResult{source, {}};
    }
    auto stepFrom = [&](int version) -> const ConversionStep* {
        auto it = std::ranges::find(versions.steps, version, &ConversionStep::fromVersion);
        return it == versions.steps.end() ? nullptr : &*it;
    };
    if (!StoreMetadata{metadata->applicationId, source}.isMiravelStore() ||
        source > model.version() || stepFrom(source) == nullptr) {
        logLine("Migration error: Source model could not be located.");
        return conversionError(ConversionErrorCode::SourceModel,
                               "Migration error. Source model could not be located.");
    }
    std::vector<const ConversionStep*> chain;
    for (int version = source; version < model.version(); ++version) {
        const ConversionStep* step = stepFrom(version);
        if (step == nullptr) {
            logLine("Migration error: Mapping model could not be inferred.");
            return conversionError(ConversionErrorCode::Mapping,
                                   "Migration error. Mapping model could not be inferred.");
        }
        chain.push_back(step);
    }
    report(0.0);

    auto failed = [&](const Error& error) {
        logLine("Migration error: {}", error.description);
        return conversionError(ConversionErrorCode::Migration,
                               "Migration error. Error during migration: " + error.description);
    };
    const auto target = conversionTarget(store);
    std::string deletion;
    removeDatabaseFiles(target, deletion);
    if (!deletion.empty()) {
        logLine("Error moving new database into place: {}", deletion);
        return conversionError(
            ConversionErrorCode::MovingIntoPlace,
            "Migration error. Error moving new database into place: " + deletion);
    }
    if (auto flushed = checkpoint(store); !flushed) {
        return failed(flushed.error());
    }
    {
        // A snapshot of the original, which itself is only read from here on.
        auto original = Database::open(store, Database::Access::ReadOnly);
        if (!original) {
            return failed(original.error());
        }
        auto snapshot = original->prepare("VACUUM INTO ?1");
        if (!snapshot) {
            return failed(snapshot.error());
        }
        if (auto bound = snapshot->bindText(1, target.string()); !bound) {
            return failed(bound.error());
        }
        if (auto done = snapshot->step(); !done) {
            return failed(done.error());
        }
    }
    report(0.2);
    {
        auto converted = Database::open(target, Database::Access::ReadWrite);
        if (!converted) {
            return failed(converted.error());
        }
        if (auto mode = converted->execute("PRAGMA journal_mode=DELETE"); !mode) {
            return failed(mode.error());
        }
        auto transaction = Transaction::begin(*converted, Transaction::Kind::Immediate);
        if (!transaction) {
            return failed(transaction.error());
        }
        for (std::size_t i = 0; i < chain.size(); ++i) {
            if (auto ran = converted->execute(chain[i]->sql); !ran) {
                return failed(Error{ran.error().domain,
                                    ran.error().code,
                                    "converting from version " +
                                        std::to_string(chain[i]->fromVersion) + ": " +
                                        ran.error().description,
                                    {}});
            }
            report(0.2 + 0.6 * static_cast<double>(i + 1) / static_cast<double>(chain.size()));
        }
        if (auto stamped =
                converted->execute("PRAGMA user_version=" + std::to_string(model.version()));
            !stamped) {
            return failed(stamped.error());
        }
        if (auto tables = checkStoreTables(*converted, model); !tables) {
            return failed(tables.error());
        }
        if (auto committed = transaction->commit(); !committed) {
            return failed(committed.error());
        }
    }
    {
        // The converted store must open as a store of the current model and be sound before
        // it takes the original's place; the coordinator also builds its search indexes.
        auto opened = PersistentStoreCoordinator::open(target, model);
        if (!opened) {
            return failed(opened.error());
        }
        if (auto sound = (*opened)->checkIntegrity(); !sound) {
            return failed(sound.error());
        }
    }
    report(0.9);

    auto moveFailed = [&](const std::string& reason) {
        logLine("Error moving new database into place: {}", reason);
        return conversionError(ConversionErrorCode::MovingIntoPlace,
                               "Migration error. Error moving new database into place: " + reason);
    };
    std::error_code error;
    if (std::filesystem::exists(withSuffix(target, "-wal"), error)) {
        return moveFailed("the converted store still has a log beside it");
    }
    const auto backup = conversionBackup(store, source);
    if (auto kept = keepOriginal(store, backup); !kept) {
        return moveFailed(kept.error().description);
    }
    // The original's log is empty after the checkpoint; it must not be read with the new file.
    for (const char* suffix : {"-wal", "-shm"}) {
        const auto path = withSuffix(store, suffix);
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
            return moveFailed("Could not delete \"" + path.string() +
                              "\": " + std::strerror(errno));
        }
    }
    if (::rename(target.c_str(), store.c_str()) != 0) {
        return moveFailed(std::strerror(errno));
    }
    flushFolder(store.has_parent_path() ? store.parent_path() : std::filesystem::path("."));
    // One copy is kept: the one made now.
    const auto folder = store.has_parent_path() ? store.parent_path() : std::filesystem::path(".");
    const std::string prefix = store.filename().string() + ".version-";
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(prefix) && entry.path() != backup) {
            std::filesystem::remove(entry.path(), error);
        }
    }
    report(1.0);
    return ConversionResult{source, backup};
}

}  // namespace miravel
