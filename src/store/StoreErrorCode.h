#pragma once

namespace miravel {

// Error domain of store failures.
inline constexpr const char* kStoreErrorDomain = "miravel.store";

// The codes the store gives its own failures. They are the numbers of SQLite's result codes
// of the same meaning, because a failure SQLite reports reaches callers in this domain too,
// with SQLite's own (extended) code.
enum class StoreErrorCode : int {
    // A request the model cannot answer (an entity, attribute or relationship it lacks), or
    // one made of something not attached to a store.
    InvalidRequest = 1,  // SQLITE_ERROR
    // A store whose file SQLite finds damaged (or no database at all): nothing more is
    // written to it.
    Damaged = 11,  // SQLITE_CORRUPT
    // A write to a store opened read-only.
    ReadOnly = 8,  // SQLITE_READONLY
    // A store of this program laid out for another version of its model.
    OtherModelVersion = 17,  // SQLITE_SCHEMA
    // A file that is not a store of this program.
    NotAStore = 26,  // SQLITE_NOTADB
};

}  // namespace miravel
