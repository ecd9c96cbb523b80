#include "import/MiravelExporter.h"

#include <chrono>

#include "lib/ApplicationIdentifier.h"
#include "lib/AtomicFile.h"
#include "lib/DateText.h"
#include "lib/Log.h"
#include "lib/TextFolding.h"
#include "lib/ZipArchive.h"
#include "model/Recipe.h"

namespace miravel {

namespace {

// Each entry is a gzip stream already, which deflate cannot shrink at any level: level 9
// searches every entry for repeats and then writes it in stored blocks all the same. Level 0
// writes those stored blocks straight away, still as a deflate entry, so every reader of
// earlier archives reads these as it did.
constexpr int kEntryLevel = 0;

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
    for (const auto& recipe : recipes) {
        const std::string name = names.uniqueName(recipe->emailFilename());
        const std::string bytes = recipe->emailAttachment();
        if (auto added = archive->add(name, bytes, currentMoment(), kEntryLevel); !added) {
            return exportError(added.error());
        }
        ++written;
        if (progress) {
            progress(written);
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
