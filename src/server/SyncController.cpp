#include <httplib.h>
#include <sodium.h>

#include <fmt/format.h>

#include "lib/Crypto.h"
#include "lib/Image.h"
#include "lib/JsonParser.h"
#include "lib/Log.h"
#include "server/Controllers.h"
#include "server/JsonText.h"
#include "server/StorageSupport.h"

namespace miravel::server {

std::string newPhotoToken() {
    unsigned char bytes[16];
    randombytes_buf(bytes, sizeof bytes);
    std::string token;
    for (unsigned char byte : bytes) {
        token += fmt::format("{:02x}", byte);
    }
    return token;
}

namespace {

std::string joinedArray(const std::vector<std::string>& texts) {
    std::size_t size = 2;
    for (const auto& text : texts) {
        size += text.size() + 1;
    }
    std::string json;
    json.reserve(size);
    json += '[';
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i > 0) {
            json += ',';
        }
        json += texts[i];
    }
    json += ']';
    return json;
}

ApiResult<std::string> dataPart(const httplib::Request& request, std::size_t maxSize,
                                bool required) {
    auto data = formField(request, "data");
    if (!data) {
        return std::unexpected(data.error());
    }
    if (!*data) {
        if (required) {
            return apiError(ApiErrorKind::BadRequest, "The request has no \"data\" part.");
        }
        return std::string();
    }
    return readDataPart(**data, maxSize);
}

}  // namespace

ApiResult<std::string> SyncController::list(std::int64_t account, EntityKind kind) {
    auto texts = m_storage.entities(account, kind);
    if (!texts) {
        return internalError(texts.error());
    }
    return joinedArray(*texts);
}

ApiResult<std::string> SyncController::update(std::int64_t account, EntityKind kind,
                                              const httplib::Request& request) {
    auto json = dataPart(request, m_options.limits.maxListBytes, true);
    if (!json) {
        return std::unexpected(json.error());
    }
    auto records = readEntityList(kind, *json);
    if (!records) {
        return std::unexpected(records.error());
    }
    if (auto applied = m_storage.applyEntities(account, kind, *records); !applied) {
        return internalError(applied.error());
    }
    return std::string("true");
}

ApiResult<std::string> SyncController::recipes(std::int64_t account) {
    auto stubs = m_storage.recipeStubs(account);
    if (!stubs) {
        return internalError(stubs.error());
    }
    // Built as text: the list is asked for at every sync and holds every recipe.
    std::string json = "[";
    json.reserve(stubs->size() * 140 + 2);
    for (const auto& stub : *stubs) {
        if (json.size() > 1) {
            json += ',';
        }
        json += "{\"uid\":";
        appendJsonString(json, stub.uid);
        json += ",\"hash\":";
        appendJsonString(json, stub.hash);
        json += ",\"photo_hash\":";
        if (stub.photoHash) {
            appendJsonString(json, *stub.photoHash);
        } else {
            json += "null";
        }
        json += '}';
    }
    json += ']';
    return json;
}

ApiResult<std::string> SyncController::recipe(std::int64_t account, const std::string& uid) {
    auto stored = m_storage.recipe(account, uid);
    if (!stored) {
        return internalError(stored.error());
    }
    if (!*stored) {
        return apiError(ApiErrorKind::NotFound, "There is no recipe with this uid.");
    }
    auto parsed = JsonParser::parse((*stored)->body);
    if (!parsed || !parsed->isObject()) {
        return internalError(storageError("a stored recipe does not read back").error());
    }
    JsonObject dictionary = parsed->asObject();
    const auto& token = (*stored)->photoToken;
    if ((*stored)->photoHash && token) {
        dictionary.set("photo_hash", JsonValue(*(*stored)->photoHash));
        dictionary.set("photo_url", JsonValue(m_options.baseUrl + "/photos/" + *token));
    } else {
        dictionary.set("photo_url", JsonValue());
    }
    return strictJson(JsonValue(std::move(dictionary)));
}

ApiResult<std::string> SyncController::updateRecipe(std::int64_t account, const std::string& uid,
                                                    const httplib::Request& request) {
    auto json = dataPart(request, m_options.limits.maxRecipeBytes, false);
    if (!json) {
        return std::unexpected(json.error());
    }
    auto photo = formField(request, "photo_upload");
    if (!photo) {
        return std::unexpected(photo.error());
    }
    if (json->empty() && !*photo) {
        return apiError(ApiErrorKind::BadRequest,
                        "The request has neither a \"data\" nor a \"photo_upload\" part.");
    }
    RecipeWrite write;
    write.uid = uid;
    if (!json->empty()) {
        auto record = readRecipe(*json);
        if (!record) {
            return std::unexpected(record.error());
        }
        if (record->uid != uid) {
            return apiError(ApiErrorKind::BadRequest,
                            "The recipe's \"uid\" differs from the one in the address.");
        }
        write.deleted = record->deleted;
        if (!record->deleted) {
            const JsonValue* hash = record->dictionary.find("hash");
            write.hash = hash->asString();
            // The address is the server's to give; an uploaded one is not kept.
            record->dictionary.remove("photo_url");
            write.body = strictJson(JsonValue(record->dictionary));
            const JsonValue* photoName = record->dictionary.find("photo");
            if (!photoName || photoName->isNull()) {
                write.photo = RecipeWrite::Photo::Remove;
            }
        }
    }
    if (*photo && !write.deleted) {
        if ((*photo)->size() > m_options.limits.maxPhotoBytes) {
            return apiError(ApiErrorKind::TooLarge, "The photo is too large.");
        }
        if (detectImageFormat(**photo) == ImageFormat::Unknown) {
            return apiError(ApiErrorKind::BadRequest, "The photo is not an image.");
        }
        if (write.photo == RecipeWrite::Photo::Remove) {
            return apiError(ApiErrorKind::BadRequest,
                            "A photo came with a recipe that has no \"photo\".");
        }
    }

    std::lock_guard lock(m_photoMutex);
    std::optional<std::string> storedPhoto;
    if (*photo && !write.deleted) {
        auto photoHash = m_photos.store(account, **photo);
        if (!photoHash) {
            return internalError(photoHash.error());
        }
        storedPhoto = *photoHash;
        write.photo = RecipeWrite::Photo::Set;
        write.photoHash = *photoHash;
        write.photoToken = newPhotoToken();
    }
    auto outcome = m_storage.writeRecipe(account, write);
    if (!outcome) {
        if (storedPhoto) {
            releasePhotos(account, {*storedPhoto});
        }
        if (outcome.error().domain == kStorageErrorDomain &&
            outcome.error().code == kStorageNotFound) {
            return apiError(ApiErrorKind::NotFound, "There is no recipe with this uid.");
        }
        return internalError(outcome.error());
    }
    releasePhotos(account, outcome->releasedPhotoHashes);
    return std::string("true");
}

void SyncController::releasePhotos(std::int64_t account,
                                   const std::vector<std::string>& photoHashes) {
    for (const auto& photoHash : photoHashes) {
        auto inUse = m_storage.photoInUse(account, photoHash);
        if (!inUse) {
            // Keeping a file too many is harmless; removing one still named would lose it.
            logLine("Photo kept, its use could not be checked: {}", inUse.error().description);
            continue;
        }
        if (!*inUse) {
            m_photos.remove(account, photoHash);
        }
    }
}

ApiResult<PhotoReply> PhotoController::photo(const std::string& token) {
    auto location = m_storage.photoByToken(token);
    if (!location) {
        return internalError(location.error());
    }
    if (!*location) {
        return apiError(ApiErrorKind::NotFound, "There is no photo at this address.");
    }
    auto bytes = m_photos.read((*location)->accountId, (*location)->photoHash);
    if (!bytes) {
        return internalError(bytes.error());
    }
    std::string mediaType(imageMediaType(detectImageFormat(*bytes)));
    return PhotoReply{std::move(*bytes),
                      mediaType.empty() ? "application/octet-stream" : std::move(mediaType)};
}

ApiResult<std::string> RecipePageController::parse(const httplib::Request& request) {
    auto url = formField(request, "url");
    if (!url) {
        return std::unexpected(url.error());
    }
    auto html = formField(request, "html");
    if (!html) {
        return std::unexpected(html.error());
    }
    if (!*url || !*html) {
        return apiError(ApiErrorKind::BadRequest,
                        "The request needs a \"url\" and an \"html\" part.");
    }
    auto page = readGzipPart(**html, m_options.limits.maxPageBytes, "html");
    if (!page) {
        return std::unexpected(page.error());
    }
    if (!m_options.recipePage) {
        return apiError(ApiErrorKind::ParserUnavailable, "This server has no recipe page parser.");
    }
    auto recipe = m_options.recipePage(*page, **url);
    if (!recipe) {
        return std::unexpected(recipe.error());
    }
    return strictJson(JsonValue(std::move(*recipe)));
}

}  // namespace miravel::server
