#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "lib/JsonValue.h"
#include "server/ApiError.h"

namespace miravel::server {

// The five synced kinds, each stored apart per account.
enum class EntityKind { Categories, Groceries, Meals, Bookmarks, Recipes };

// "categories", "groceries"...: the path word and the storage name of a kind.
std::string_view entityKindName(EntityKind kind);

inline constexpr std::size_t kMaxUidLength = 128;
// Devices send 64 hex digits; the bound keeps a recipe's list entry within what an index row
// holds (PostgreSQL's B-tree refuses rows of more than about 2.7 KB).
inline constexpr std::size_t kMaxHashLength = 1024;
inline constexpr std::size_t kMaxEntitiesPerUpload = 20000;

// uids go into the client's request paths verbatim, so one that could leave its path
// segment, or that no device would make, is refused: empty, too long, "/", "\", "..", "?",
// "#", "%", a double quote, white space, control characters or anything outside printable ASCII.
bool isValidUid(std::string_view uid);

// One uploaded dictionary, checked: its uid, whether the client marks it deleted, and the
// dictionary itself as stored and handed back.
struct EntityRecord {
    std::string uid;
    bool deleted = false;
    JsonObject dictionary;
};

// Checks one dictionary of a kind: a JSON object with a valid "uid", "deleted" true, false or
// absent, and each member the client reads with its type (text, whole number, true/false,
// date text, array of uids) or null. Live recipes need their "hash", of at most kMaxHashLength
// bytes. Members unknown to this server are kept as they came: a newer client may send more.
// `where` names the item in messages ("item 3").
[[nodiscard]] ApiResult<EntityRecord> readEntity(EntityKind kind, const JsonValue& value,
                                                 std::string_view where);

// A whole "data" array of a list kind: JSON text of an array of dictionaries, each checked,
// no uid twice, at most kMaxEntitiesPerUpload items.
[[nodiscard]] ApiResult<std::vector<EntityRecord>> readEntityList(EntityKind kind,
                                                                  std::string_view json);

// One recipe dictionary ("data" of a recipe upload) as JSON text.
[[nodiscard]] ApiResult<EntityRecord> readRecipe(std::string_view json);

// The "data" part's bytes: gzip (as the client sends it) or zlib inflated up to `maxSize`,
// or plain JSON text for hand-made requests. A part that inflates beyond the limit is
// refused as too large, one that does not inflate as bad input.
[[nodiscard]] ApiResult<std::string> readDataPart(std::string_view bytes, std::size_t maxSize);

// A gzip (or zlib) part inflated up to `maxSize`; `partName` names it in messages.
[[nodiscard]] ApiResult<std::string> readGzipPart(std::string_view bytes, std::size_t maxSize,
                                                  std::string_view partName);

}  // namespace miravel::server
