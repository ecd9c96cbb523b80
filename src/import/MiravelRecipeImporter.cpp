#include "import/MiravelRecipeImporter.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "lib/ApplicationIdentifier.h"
#include "lib/AtomicFile.h"
#include "lib/Crypto.h"
#include "lib/ZipArchive.h"
#include "model/Recipe.h"
#include "model/RecipeFile.h"

namespace miravel {

namespace {

std::optional<std::int64_t> integerOf(const JsonObject& object, std::string_view key) {
    const JsonValue* value = object.find(key);
    if (value == nullptr || !value->isNumber()) {
        return std::nullopt;
    }
    if (value->isInteger()) {
        return value->asInteger();
    }
    const double number = value->asDouble();
    if (!(number >= -9.0e18 && number <= 9.0e18)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(number);
}

}  // namespace

void copyRecipeFileMembers(const JsonObject& object, Recipe& recipe, RecipeFileMembers members) {
    setDictionaryTexts(recipe, object);
    if (!members.notes) {
        recipe.setNotes(std::nullopt);
    }
    if (members.rating) {
        recipe.setRating(integerOf(object, "rating"));
    }
    recipe.setImageUrl(dictionaryText(object, "image_url"));
}

std::optional<std::string> MiravelRecipeImporter::photoFromObject(const JsonObject& object) const {
    const JsonValue* data = object.find("photo_data");
    if (data == nullptr || !data->isString()) {
        return std::nullopt;
    }
    auto bytes = decodeLenientBase64(data->asString());
    if (!bytes) {
        return std::nullopt;
    }
    return writePhotoFile(*bytes);
}

Result<std::shared_ptr<Recipe>> MiravelRecipeImporter::recipeFromObject(const JsonObject& object) {
    auto photo = photoFromObject(object);
    if (photo) {
        photoWritten();
    }
    return recipeFromObject(object, std::move(photo));
}

std::shared_ptr<Recipe> MiravelRecipeImporter::recipeFromObject(const JsonObject& object,
                                                                std::optional<std::string> photo) {
    auto recipe = insertRecipe();
    copyRecipeFileMembers(object, *recipe, {});
    if (photo) {
        recipe->setPhoto(*photo);
    }
    if (const JsonValue* categories = object.find("categories");
        categories != nullptr && categories->isArray()) {
        for (const JsonValue& name : categories->asArray()) {
            if (name.isString()) {
                addCategoryToRecipe(name.asString(), *recipe);
            }
        }
    }
    return recipe;
}

Result<std::shared_ptr<Recipe>> MiravelRecipeImporter::parseRecipeFromData(
    std::string_view fileBytes) {
    auto object = readRecipeFile(fileBytes);
    if (!object) {
        return std::unexpected(object.error());
    }
    return recipeFromObject(*object);
}

ImportOutcome MiravelRecipeImporter::parseFile(const std::filesystem::path& path) {
    auto bytes = readFile(getImportFilePath(path));
    if (!bytes) {
        return outcome(bytes.error());
    }
    reportBytes(bytes->size(), bytes->size());
    auto recipe = parseRecipeFromData(*bytes);
    if (!recipe) {
        recipeSkipped(path.filename().string(), recipe.error().description);
        return outcome(recipe.error());
    }
    if (auto finished = recipeFinished(**recipe); !finished) {
        return outcome(finished.error());
    }
    if (auto saved = saveNow(); !saved) {
        return outcome(saved.error());
    }
    return outcome();
}

namespace {

// One archive entry as the reading thread hands it over: the recipe file's object, or why the
// entry is none (`reason` for the report, the error for the outcome).
struct ReadEntry {
    std::string name;
    std::uint64_t size = 0;  // as the archive declares it, for the progress
    std::uint64_t held = 0;  // the recipe file's bytes as read, a measure of what it holds
    Result<JsonObject> object;
    std::string reason;
    std::optional<std::string> photo;  // the file written for the recipe's photo
    std::optional<std::string> fault;  // the reading thread itself failed here
};

// Entries in archive order, at most `capacity` bytes of recipe files waiting, so that
// the reading thread goes on while the importing thread waits for a save. Each side, once it
// has had to wait, sleeps until a few entries (or their room) have gathered, so that the
// threads wake each other once per few entries rather than once per entry.
class EntryQueue {
public:
    explicit EntryQueue(std::uint64_t capacity) : m_capacity(capacity) {}

    // Waits for room; gives the entry back once the importing thread has stopped taking.
    std::optional<ReadEntry> push(ReadEntry entry) {
        std::unique_lock lock(m_mutex);
        if (!m_stopped && m_bytes >= m_capacity) {
            m_producerWaiting = true;
            m_changed.wait(lock, [&] { return m_stopped || m_bytes <= m_capacity / 2; });
            m_producerWaiting = false;
        }
        if (m_stopped) {
            return entry;
        }
        m_bytes += entry.held;
        m_entries.push_back(std::move(entry));
        if (m_consumerWaiting && m_entries.size() >= kGathered) {
            m_changed.notify_all();
        }
        return std::nullopt;
    }
    void finish() {
        std::lock_guard lock(m_mutex);
        m_finished = true;
        m_changed.notify_all();
    }
    // Waits for the next entry; nothing once the reading thread has finished and all are taken.
    std::optional<ReadEntry> pop() {
        std::unique_lock lock(m_mutex);
        if (m_entries.empty() && !m_finished) {
            m_consumerWaiting = true;
            m_changed.wait(lock, [&] { return m_finished || m_entries.size() >= kGathered; });
            m_consumerWaiting = false;
        }
        if (m_entries.empty()) {
            return std::nullopt;
        }
        ReadEntry entry = std::move(m_entries.front());
        m_entries.pop_front();
        m_bytes -= entry.held;
        if (m_producerWaiting && m_bytes <= m_capacity / 2) {
            m_changed.notify_all();
        }
        return entry;
    }
    // The importing thread takes no more; what is still waiting is handed back.
    std::deque<ReadEntry> stop() {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
        m_bytes = 0;
        m_changed.notify_all();
        return std::exchange(m_entries, {});
    }

private:
    static constexpr std::size_t kGathered = 4;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<ReadEntry> m_entries;
    std::uint64_t m_bytes = 0;
    std::uint64_t m_capacity;
    bool m_finished = false;
    bool m_stopped = false;
    bool m_producerWaiting = false;
    bool m_consumerWaiting = false;
};

}  // namespace

ImportOutcome MiravelRecipesImporter::parseFile(const std::filesystem::path& path) {
    auto archive = ZipReader::open(getImportFilePath(path));
    if (!archive) {
        return outcome(Error{applicationErrorDomain(), 100,
                             "There was a problem importing this file.",
                             archive.error().description});
    }
    const std::uint64_t fileSize = archive->fileSize();
    // A photo written for an entry that never reaches the store would be left in the library
    // folder with no recipe naming it.
    auto discardPhoto = [&](const ReadEntry& entry) {
        if (entry.photo) {
            std::error_code ignored;
            std::filesystem::remove(photoFolder() / *entry.photo, ignored);
        }
    };
    EntryQueue queue(kBytesAhead);
    std::thread reading([&, archive = std::move(*archive)]() mutable {
        const auto& entries = archive.entries();
        try {
            for (std::size_t index = 0; index < entries.size() && !cancelled(); ++index) {
                ReadEntry entry{entries[index].name, entries[index].size, 0, {}, {}, {}, {}};
                if (auto bytes = archive.read(index); !bytes) {
                    entry.reason = bytes.error().description;
                    entry.object = std::unexpected(Error{applicationErrorDomain(), 100,
                                                         "Unable to parse this file.",
                                                         bytes.error().description});
                } else {
                    entry.held = bytes->size();
                    entry.object = readRecipeFile(*bytes);
                    if (!entry.object) {
                        entry.reason = entry.object.error().description;
                    } else {
                        entry.photo = photoFromObject(*entry.object);
                    }
                }
                if (auto refused = queue.push(std::move(entry))) {
                    discardPhoto(*refused);
                    break;
                }
            }
        } catch (const std::exception& exception) {
            ReadEntry failed;
            failed.fault = exception.what();
            (void)queue.push(std::move(failed));
        }
        queue.finish();
    });
    // However the loop below ends, the reading thread stops before the importer goes on.
    struct Join {
        EntryQueue& queue;
        std::thread& thread;
        std::function<void(const ReadEntry&)> discard;
        ~Join() {
            for (const auto& entry : queue.stop()) {
                discard(entry);
            }
            thread.join();
        }
    } join{queue, reading, discardPhoto};

    std::optional<Error> lastError;
    std::uint64_t bytesRead = 0;
    while (!cancelled()) {
        auto entry = queue.pop();
        if (!entry) {
            break;
        }
        if (entry->fault) {
            throw std::runtime_error(*entry->fault);
        }
        bytesRead += entry->size;
        reportBytes(std::min(bytesRead, fileSize), fileSize);
        if (!entry->object) {
            recipeSkipped(entry->name, entry->reason);
            lastError = entry->object.error();
            continue;
        }
        if (entry->photo) {
            photoWritten();
        }
        auto recipe = recipeFromObject(*entry->object, std::move(entry->photo));
        if (auto finished = recipeFinished(*recipe); !finished) {
            return outcome(finished.error());
        }
    }
    if (auto saved = saveNow(); !saved) {
        return outcome(saved.error());
    }
    return outcome(lastError);
}

}  // namespace miravel
