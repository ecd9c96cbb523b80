#include "server/StorageSupport.h"

#include "lib/DateText.h"
#include "lib/JsonParser.h"

namespace miravel::server {

std::int64_t nowSeconds() {
    return static_cast<std::int64_t>(timeTOf(currentMoment()));
}

std::int64_t historyCutoff(std::int64_t now) {
    return now - static_cast<std::int64_t>(kHistoryDaysKept) * 24 * 3600;
}

std::string dateTextOfSeconds(std::int64_t seconds) {
    return formatDateText(momentOfTimeT(static_cast<std::time_t>(seconds)));
}

std::string hashOfBody(std::string_view body) {
    JsonParser::Options options;
    options.allowRawControlCharacters = true;
    auto parsed = JsonParser::parse(body, options);
    if (!parsed) {
        return {};
    }
    const JsonValue* hash = parsed->member("hash");
    return hash && hash->isString() ? hash->asString() : std::string();
}

std::unexpected<Error> storageError(std::string description, int code) {
    return makeError(kStorageErrorDomain, code, std::move(description));
}

namespace {

// Prunes the recipe's history and adds what that released to the outcome.
Result<WriteOutcome> pruned(RecipeRows& rows, const std::string& uid, std::int64_t now,
                            WriteOutcome outcome) {
    auto released = rows.pruneVersions(uid, historyCutoff(now));
    if (!released) {
        return std::unexpected(released.error());
    }
    outcome.releasedPhotoHashes.insert(outcome.releasedPhotoHashes.end(), released->begin(),
                                       released->end());
    return outcome;
}

}  // namespace

Result<WriteOutcome> applyRecipeWrite(RecipeRows& rows, const RecipeWrite& write,
                                      std::int64_t now) {
    auto existing = rows.recipe(write.uid);
    if (!existing) {
        return std::unexpected(existing.error());
    }
    WriteOutcome outcome;
    // The same recipe sent again (a retried upload) is no new version.
    const bool changed =
        *existing &&
        (write.deleted || (write.body && *write.body != (*existing)->body) ||
         (write.photo == RecipeWrite::Photo::Set && (*existing)->photoHash != write.photoHash) ||
         (write.photo == RecipeWrite::Photo::Remove && (*existing)->photoHash));
    if (changed) {
        if (auto kept = rows.keepVersion(**existing, now); !kept) {
            return std::unexpected(kept.error());
        }
    }
    std::optional<std::string> photoHash = *existing ? (*existing)->photoHash : std::nullopt;
    std::optional<std::string> photoToken = *existing ? (*existing)->photoToken : std::nullopt;
    if (write.deleted) {
        if (*existing) {
            if (auto done = rows.removeRecipe(write.uid); !done) {
                return std::unexpected(done.error());
            }
            if (photoHash) {
                outcome.releasedPhotoHashes.push_back(*photoHash);
            }
        }
    } else {
        if (!write.body && !*existing) {
            return storageError("no such recipe", kStorageNotFound);
        }
        if (write.photo != RecipeWrite::Photo::Keep) {
            if (photoHash &&
                (write.photo == RecipeWrite::Photo::Remove || *photoHash != write.photoHash)) {
                outcome.releasedPhotoHashes.push_back(*photoHash);
            }
            if (write.photo == RecipeWrite::Photo::Remove) {
                photoHash.reset();
                photoToken.reset();
            } else {
                photoHash = write.photoHash;
                photoToken = write.photoToken;
            }
        }
        const std::string& body = write.body ? *write.body : (*existing)->body;
        const std::string hash = write.body ? write.hash : hashOfBody(body);
        if (auto done = rows.putRecipe(write.uid, hash, body, photoHash, photoToken); !done) {
            return std::unexpected(done.error());
        }
    }
    return pruned(rows, write.uid, now, std::move(outcome));
}

Result<WriteOutcome> applyRestore(RecipeRows& rows, std::int64_t entryId,
                                  const std::string& newPhotoToken, std::int64_t now) {
    auto version = rows.keptVersion(entryId);
    if (!version) {
        return std::unexpected(version.error());
    }
    if (!*version) {
        return storageError("no such version", kStorageNotFound);
    }
    const StoredRecipe& kept = **version;
    auto existing = rows.recipe(kept.uid);
    if (!existing) {
        return std::unexpected(existing.error());
    }
    if (*existing) {
        if (auto done = rows.keepVersion(**existing, now); !done) {
            return std::unexpected(done.error());
        }
    }
    // The photo comes back under a new address: the old token was given up with it.
    const std::optional<std::string> token =
        kept.photoHash ? std::optional<std::string>(newPhotoToken) : std::nullopt;
    if (auto done =
            rows.putRecipe(kept.uid, hashOfBody(kept.body), kept.body, kept.photoHash, token);
        !done) {
        return std::unexpected(done.error());
    }
    return pruned(rows, kept.uid, now, {});
}

}  // namespace miravel::server
