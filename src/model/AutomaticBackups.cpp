#include "model/AutomaticBackups.h"

#include <algorithm>
#include <ctime>
#include <set>
#include <system_error>

#include "lib/AtomicFile.h"
#include "model/LibraryBackup.h"
#include "model/UserFolders.h"
#include "model/UserSettings.h"
#include "store/PersistentStoreCoordinator.h"

namespace miravel {

namespace {

constexpr std::string_view kNamePrefix = "Automatic Backup ";
constexpr std::string_view kBeforeConversionPrefix = "Before Conversion ";
constexpr auto kDay = std::chrono::hours(24);

std::tm localTime(Timestamp moment) {
    const std::time_t seconds = timeTOf(moment);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    return local;
}

std::string formatted(const std::tm& local, const char* format) {
    char text[32];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

// A file that cannot be asked counts as written at the beginning of time.
Timestamp modificationTime(const std::filesystem::path& file) {
    return fileModificationTime(file).value_or(Timestamp{});
}

Error backupError(const std::string& text) {
    return Error{kBackupErrorDomain, static_cast<int>(BackupErrorCode::CannotWrite), text, {}};
}

}  // namespace

std::string automaticBackupName(Timestamp taken) {
    return std::string(kNamePrefix) + formatted(localTime(taken), "%Y-%m-%d %H.%M.%S") + "." +
           kBackupExtension;
}

std::string beforeConversionBackupName(Timestamp taken) {
    return std::string(kBeforeConversionPrefix) + formatted(localTime(taken), "%Y-%m-%d %H.%M.%S") +
           "." + kBackupExtension;
}

std::string_view backupKind(const KeptBackup& backup) {
    if (backup.automatic) {
        return "automatic";
    }
    return backup.file.filename().string().starts_with(kBeforeConversionPrefix)
               ? "before conversion"
               : "by hand";
}

std::optional<Timestamp> automaticBackupTime(std::string_view fileName) {
    const std::string suffix = std::string(".") + kBackupExtension;
    if (!fileName.starts_with(kNamePrefix) || !fileName.ends_with(suffix)) {
        return std::nullopt;
    }
    const std::string stamp(
        fileName.substr(kNamePrefix.size(), fileName.size() - kNamePrefix.size() - suffix.size()));
    std::tm local{};
    const char* end = ::strptime(stamp.c_str(), "%Y-%m-%d %H.%M.%S", &local);
    if (end == nullptr || *end != '\0') {
        return std::nullopt;
    }
    local.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&local);
    if (seconds == -1) {
        return std::nullopt;
    }
    return momentOfTimeT(seconds);
}

std::filesystem::path backupsFolder(const std::filesystem::path& filesFolder,
                                    const UserSettings& settings) {
    if (const std::string chosen = settings.text(kBackupsFolderKey); !chosen.empty()) {
        return chosen;
    }
    const auto library = filesFolder.has_filename() ? filesFolder : filesFolder.parent_path();
    return library.parent_path() / kBackupsFolderName;
}

std::vector<KeptBackup> backupsIn(const std::filesystem::path& folder) {
    std::vector<KeptBackup> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_regular_file(error) ||
            entry.path().extension() != std::string(".") + kBackupExtension) {
            continue;
        }
        KeptBackup backup;
        backup.file = entry.path();
        backup.bytes = entry.file_size(error);
        if (auto taken = automaticBackupTime(name)) {
            backup.taken = *taken;
            backup.automatic = true;
        } else {
            backup.taken = modificationTime(entry.path());
        }
        found.push_back(std::move(backup));
    }
    std::ranges::sort(found, [](const KeptBackup& a, const KeptBackup& b) {
        return a.taken != b.taken ? a.taken > b.taken : a.file > b.file;
    });
    return found;
}

std::vector<std::filesystem::path> backupsBeyondKeeping(const std::vector<KeptBackup>& backups) {
    std::vector<const KeptBackup*> automatic;
    for (const auto& backup : backups) {
        if (backup.automatic) {
            automatic.push_back(&backup);
        }
    }
    std::ranges::sort(automatic,
                      [](const KeptBackup* a, const KeptBackup* b) { return a->taken > b->taken; });
    std::set<const KeptBackup*> kept;
    // The newest backup of each of the most recent `count` periods that have one.
    const auto keepNewestPer = [&](const char* period, std::size_t count) {
        std::set<std::string> periods;
        for (const KeptBackup* backup : automatic) {
            const std::string key = formatted(localTime(backup->taken), period);
            if (periods.contains(key)) {
                continue;
            }
            if (periods.size() == count) {
                break;
            }
            periods.insert(key);
            kept.insert(backup);
        }
    };
    keepNewestPer("%Y-%m-%d", 7);
    keepNewestPer("%G-%V", 4);
    keepNewestPer("%Y-%m", 12);
    std::vector<std::filesystem::path> beyond;
    for (const KeptBackup* backup : automatic) {
        if (!kept.contains(backup)) {
            beyond.push_back(backup->file);
        }
    }
    return beyond;
}

Timestamp libraryChangedAt(const std::filesystem::path& filesFolder) {
    const auto store = filesFolder / kStoreFileName;
    auto log = store;
    log += "-wal";
    return std::max(modificationTime(store), modificationTime(log));
}

bool automaticBackupDue(std::optional<Timestamp> newest, Timestamp changed, Timestamp now) {
    return !newest || (now - *newest >= kDay && changed > *newest);
}

Result<AutomaticBackupRun> runAutomaticBackup(const std::filesystem::path& filesFolder,
                                              const std::filesystem::path& folder,
                                              const ModelVersions& versions, Timestamp now,
                                              bool evenIfNotDue) {
    AutomaticBackupRun run;
    auto existing = backupsIn(folder);
    const auto newest = std::ranges::find_if(existing, &KeptBackup::automatic);
    if (!evenIfNotDue && newest != existing.end()) {
        // Changes are counted from when the newest backup was finished, not from the moment
        // in its name: taking the snapshot itself touches the store's files.
        const Timestamp changed = libraryChangedAt(filesFolder);
        const bool changedSince = changed > modificationTime(newest->file);
        if (!automaticBackupDue(newest->taken, changedSince ? now : newest->taken, now)) {
            return run;
        }
    }
    if (auto made = createFolder(folder, 0700); !made) {
        return std::unexpected(made.error());
    }
    const auto file = folder / automaticBackupName(now);
    if (auto checked = writeVerifiedLibraryBackup(filesFolder, file, versions); !checked) {
        Error error = checked.error();
        error.description += " The earlier backups are kept.";
        return std::unexpected(error);
    }
    std::error_code ignored;
    run.written = file;
    for (const auto& old : backupsBeyondKeeping(backupsIn(folder))) {
        if (std::filesystem::remove(old, ignored)) {
            run.deleted.push_back(old);
        }
    }
    return run;
}

Result<std::optional<std::filesystem::path>> backUpBeforeConversion(
    const std::filesystem::path& filesFolder, const std::filesystem::path& folder,
    const ModelVersions& versions, Timestamp now) {
    const auto refused = [](const std::string& why) {
        return std::unexpected(backupError(
            "The library was not converted, because a backup of it could not be made first. " +
            why));
    };
    // A store the conversion will refuse (another program's, a newer layout, one with no way
    // from it) stays as it is, so there is nothing to undo.
    auto version = readStoreVersion(filesFolder / kStoreFileName);
    if (!version ||
        !StoreMetadata{version->applicationId, version->modelVersion}.isMiravelStore() ||
        std::ranges::none_of(versions.steps, [&](const ConversionStep& step) {
            return step.fromVersion == version->modelVersion;
        })) {
        return std::optional<std::filesystem::path>();
    }
    if (auto made = createFolder(folder, 0700); !made) {
        return refused(made.error().description);
    }
    const std::string name = beforeConversionBackupName(now);
    const std::string stem = name.substr(0, name.size() - std::string(kBackupExtension).size() - 1);
    auto file = folder / name;
    std::error_code ignored;
    for (int attempt = 2; std::filesystem::exists(file, ignored); ++attempt) {
        file = folder / (stem + " " + std::to_string(attempt) + "." + kBackupExtension);
    }
    if (auto checked = writeVerifiedLibraryBackup(filesFolder, file, versions); !checked) {
        return refused(checked.error().description);
    }
    return std::optional<std::filesystem::path>(file);
}

}  // namespace miravel
