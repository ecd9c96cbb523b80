#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "lib/Error.h"
#include "store/Database.h"
#include "store/EntityDescription.h"
#include "store/StoreErrorCode.h"
#include "store/TextSearchIndex.h"
#include "store/Value.h"

namespace miravel {

// One stored row: its id, the attribute values in the entity's attribute order, and the rows
// its to-one relationships point at (in the entity's relationship order; null for to-many).
struct StoredRow {
    std::int64_t id = 0;
    std::vector<Value> values;
    std::vector<ObjectID> toOne;
};

// Which attributes of an entity a fetch reads: bit i stands for attribute i. Attributes past
// the 64th have no bit and are always read.
using AttributeMask = std::uint64_t;
inline constexpr AttributeMask kAllAttributes = ~AttributeMask{0};
inline bool includesAttribute(AttributeMask mask, std::size_t index) {
    return index >= 64 || ((mask >> index) & 1U) != 0;
}

// What a store file says about itself, read without changing it.
struct StoreMetadata {
    std::int32_t applicationId = 0;
    std::int32_t modelVersion = 0;
    bool isMiravelStore() const;
};

// The connection to one SQLite store file. Every context of the process shares it; a mutex
// serialises its use, and whole-store work (a backup) holds the same lock through lock().
//
// Row ids are handed out when objects are inserted, in blocks reserved in the file itself, so
// two processes on one library never hand out the same id.
class PersistentStoreCoordinator {
public:
    struct Options {
        bool readOnly = false;
    };

    // Opens the store, creating the file and its tables when there is none. A file that is
    // not a store of this model is refused and left exactly as it was.
    [[nodiscard]] static Result<std::shared_ptr<PersistentStoreCoordinator>> open(
        const std::filesystem::path& file, const ManagedObjectModel& model, Options options);
    [[nodiscard]] static Result<std::shared_ptr<PersistentStoreCoordinator>> open(
        const std::filesystem::path& file, const ManagedObjectModel& model) {
        return open(file, model, Options{});
    }

    // The metadata of a store file, or nothing when there is no readable SQLite file.
    static std::optional<StoreMetadata> metadataForStore(const std::filesystem::path& file);

    ~PersistentStoreCoordinator();
    PersistentStoreCoordinator(const PersistentStoreCoordinator&) = delete;
    PersistentStoreCoordinator& operator=(const PersistentStoreCoordinator&) = delete;

    const ManagedObjectModel& model() const { return m_model; }
    const std::filesystem::path& file() const { return m_file; }
    // The text indexes searches of this store may use.
    const TextSearchIndexes& searchIndexes() const { return m_searchIndexes; }

    // The coordinator lock (recursive): held around every statement, and by a backup.
    void lock() { m_mutex.lock(); }
    void unlock() { m_mutex.unlock(); }
    bool try_lock() { return m_mutex.try_lock(); }

    // Whether SQLite finds the file sound, asked once (it reads every page) and before the
    // first write, so that a damaged store is never written to. Any statement that meets
    // damage marks the store damaged too, and every later write is refused.
    [[nodiscard]] Result<void> checkIntegrity();
    bool isDamaged() const { return m_damaged; }

    // A new row id for an object about to be inserted.
    [[nodiscard]] Result<std::int64_t> newRowId(const EntityDescription& entity);

    // Rows of an entity selected by a WHERE clause (over the table alias "t") with its
    // bindings, in the given ORDER BY (may be empty), at most `limit` rows when above 0.
    // Attributes outside `attributes` are not read and left null; to-one columns always are.
    // `rowAttributes`, when given, narrows them per row id (a caller that already holds a
    // row's values needs none of them again).
    using RowAttributes = std::function<AttributeMask(std::int64_t)>;
    [[nodiscard]] Result<std::vector<StoredRow>> fetchRows(
        const EntityDescription& entity, const std::string& where, const ValueList& bindings,
        const std::string& orderBy, std::size_t limit = 0,
        AttributeMask attributes = kAllAttributes, const RowAttributes& rowAttributes = {});
    // The ids of the rows fetchRows would read, in the same order.
    [[nodiscard]] Result<std::vector<std::int64_t>> fetchIds(const EntityDescription& entity,
                                                             const std::string& where,
                                                             const ValueList& bindings,
                                                             const std::string& orderBy = "",
                                                             std::size_t limit = 0);
    [[nodiscard]] Result<std::int64_t> count(const EntityDescription& entity,
                                             const std::string& where, const ValueList& bindings);
    [[nodiscard]] Result<std::optional<StoredRow>> fetchRow(
        const EntityDescription& entity, std::int64_t id,
        AttributeMask attributes = kAllAttributes);
    // The maximum of one attribute over the selected rows; null when none.
    [[nodiscard]] Result<Value> maximum(const EntityDescription& entity,
                                        const std::string& attribute, const std::string& where,
                                        const ValueList& bindings);
    // The rows a to-many relationship of row `id` holds.
    [[nodiscard]] Result<std::vector<ObjectID>> relatedIds(const EntityDescription& entity,
                                                           const RelationshipDescription& relation,
                                                           std::int64_t id);

    // One save: every change of a context, written in one transaction.
    struct JoinChange {
        const RelationshipDescription* relationship;  // the many-to-many side that writes
        std::int64_t from;
        std::int64_t to;
        bool added;
    };
    struct SaveRequest {
        std::vector<std::pair<const EntityDescription*, StoredRow>> inserts;
        // Updated rows with the indexes of the attributes and to-one relationships to write.
        struct Update {
            const EntityDescription* entity;
            StoredRow row;
            std::vector<int> attributes;
            std::vector<int> toOne;
        };
        std::vector<Update> updates;
        std::vector<ObjectID> deletes;
        std::vector<JoinChange> joins;
    };
    [[nodiscard]] Result<void> save(const SaveRequest& request);

private:
    PersistentStoreCoordinator(std::filesystem::path file, const ManagedObjectModel& model,
                               Database database, bool readOnly);
    [[nodiscard]] Result<void> prepareSchema();
    [[nodiscard]] Result<void> prepareTables();
    [[nodiscard]] Result<void> createTables();
    [[nodiscard]] Result<std::int64_t> reserveIds(const EntityDescription& entity);
    [[nodiscard]] Result<void> writeAll(const SaveRequest& request);
    [[nodiscard]] Result<void> execute(const std::string& sql);
    // Every failure SQLite reports becomes a store error here, so that damage is noticed
    // whichever statement meets it: what failed, then SQLite's message.
    Error storeError(const std::string& what, const Error& cause);
    // The failure of statements run as text (schema, pragmas, transaction control).
    Error storeFailure(const Error& cause);
    Error damagedError(const std::string& detail) const;
    [[nodiscard]] Result<Statement*> prepare(const std::string& sql);
    void trimStatementCache();
    [[nodiscard]] Result<void> forEachRow(const std::string& sql, const ValueList& bindings,
                                          const std::function<void(const Statement&)>& row);
    // `attributes` says which columns the statement selected, `wanted` which of them to read.
    StoredRow readRow(const EntityDescription& entity, AttributeMask attributes,
                      AttributeMask wanted, const Statement& statement) const;
    std::string selectList(const EntityDescription& entity, AttributeMask attributes) const;

    std::filesystem::path m_file;
    const ManagedObjectModel& m_model;
    Database m_database;
    bool m_readOnly;
    std::atomic<bool> m_damaged = false;
    bool m_integrityChecked = false;
    TextSearchIndexes m_searchIndexes;
    std::recursive_mutex m_mutex;
    // Per entity: the next id of the reserved block and the end of the block.
    std::map<std::string, std::pair<std::int64_t, std::int64_t>, std::less<>> m_reserved;
    std::map<std::string, Statement, std::less<>> m_statements;
};

}  // namespace miravel
