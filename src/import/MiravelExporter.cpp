#include "import/MiravelExporter.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "lib/ApplicationIdentifier.h"
#include "lib/AtomicFile.h"
#include "lib/DateText.h"
#include "lib/Gzip.h"
#include "lib/Log.h"
#include "lib/TextFolding.h"
#include "lib/ZipArchive.h"
#include "model/Recipe.h"

namespace miravel {

namespace {

// The archive format's entries are deflate at level 9. Each is a gzip stream already, so
// level 0 would write the same stored blocks a little faster (the 10,000-recipe archive came
// out 113 bytes smaller), but the level is what the format names and what other writers use.
constexpr int kEntryLevel = 9;

// How many recipe files may wait, compressed or being compressed, for their turn in the
// archive: enough to keep both compressing threads busy, and at most so many bytes of recipe
// file text (a recipe with a large photo is megabytes of it).
constexpr std::size_t kFilesAhead = 32;
constexpr std::size_t kBytesAhead = 16 << 20;

// Compresses recipe files, and deflates them as archive entries, on two threads of their own
// while the exporting thread (the one the recipes belong to) writes out the next ones; each
// result comes back through its future.
class Compressors {
public:
    Compressors() {
        for (int i = 0; i < 2; ++i) {
            m_threads.emplace_back([this] { run(); });
        }
    }
    ~Compressors() {
        {
            std::lock_guard lock(m_mutex);
            m_closed = true;
        }
        m_changed.notify_all();
        for (auto& thread : m_threads) {
            thread.join();
        }
    }
    Compressors(const Compressors&) = delete;
    Compressors& operator=(const Compressors&) = delete;

    std::future<ZipWriter::DeflatedEntry> compress(std::string text) {
        std::packaged_task<ZipWriter::DeflatedEntry()> job([text = std::move(text)] {
            return ZipWriter::deflateEntry(gzipCompress(text), kEntryLevel);
        });
        auto result = job.get_future();
        {
            std::lock_guard lock(m_mutex);
            m_jobs.push_back(std::move(job));
        }
        m_changed.notify_one();
        return result;
    }

private:
    void run() {
        while (true) {
            std::packaged_task<ZipWriter::DeflatedEntry()> job;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return m_closed || !m_jobs.empty(); });
                if (m_jobs.empty()) {
                    return;
                }
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            job();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::packaged_task<ZipWriter::DeflatedEntry()>> m_jobs;
    bool m_closed = false;
    std::vector<std::thread> m_threads;  // last: they start once the rest exists
};

std::unexpected<Error> exportError(const Error& cause) {
    logLine("Error writing miravelrecipe file: {}", cause.description);
    return makeError(exportErrorDomain(), 0, cause.description, cause.failureReason);
}

}  // namespace

std::string ArchiveEntryNames::uniqueName(const std::string& fileName) {
    const std::filesystem::path path(fileName);
    const std::string stem = path.stem().string();
    const std::string extension = path.extension().string();
    const std::string key = lowerCased(stem);
    for (auto& [name, counter] : m_counters) {
        if (name == key) {
            ++counter;
            return stem + " " + std::to_string(counter) + extension;
        }
    }
    m_counters.emplace_back(key, 1);
    return fileName;
}

Result<std::string> MiravelExporter::exportRecipesToMiravelFormat(
    const std::vector<std::shared_ptr<Recipe>>& recipes, const std::filesystem::path& location,
    const std::function<void(std::size_t)>& progress) {
    auto archive = ZipWriter::create(location);
    if (!archive) {
        return exportError(archive.error());
    }
    ArchiveEntryNames names;
    std::size_t written = 0;
    // Entries go into the archive in the recipes' order, each once its file is compressed.
    struct Waiting {
        std::string name;
        std::size_t textSize;
        std::future<ZipWriter::DeflatedEntry> file;
    };
    std::deque<Waiting> waiting;
    std::size_t waitingBytes = 0;
    Compressors compressors;
    auto writeOldest = [&]() -> Result<void> {
        auto [name, textSize, file] = std::move(waiting.front());
        waiting.pop_front();
        waitingBytes -= textSize;
        if (auto added = archive->addDeflated(name, file.get(), currentMoment()); !added) {
            return std::unexpected(added.error());
        }
        ++written;
        if (progress) {
            progress(written);
        }
        return {};
    };
    for (const auto& recipe : recipes) {
        std::string text = recipe->recipeFileText();
        waitingBytes += text.size();
        waiting.push_back({names.uniqueName(recipe->emailFilename()), text.size(),
                           compressors.compress(std::move(text))});
        while (waiting.size() >= kFilesAhead ||
               (waitingBytes > kBytesAhead && waiting.size() > 1)) {
            if (auto added = writeOldest(); !added) {
                return exportError(added.error());
            }
        }
    }
    while (!waiting.empty()) {
        if (auto added = writeOldest(); !added) {
            return exportError(added.error());
        }
    }
    if (auto committed = archive->commit(); !committed) {
        return exportError(committed.error());
    }
    return location.filename().string();
}

Result<void> MiravelExporter::exportRecipeFile(const Recipe& recipe,
                                               const std::filesystem::path& location) {
    return writeFileAtomically(location, recipe.emailAttachment());
}

}  // namespace miravel
