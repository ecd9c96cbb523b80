#include "model/LibraryBackup.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <ctime>
#include <set>
#include <system_error>
#include <vector>

#include "lib/AtomicFile.h"
#include "lib/Log.h"
#include "lib/ZipArchive.h"
#include "model/UserFolders.h"
#include "store/Database.h"
#include "store/PersistentStoreCoordinator.h"

namespace miravel {

namespace {

// "Miravel Before Restore ": named after the library's folder, so that two libraries in one
// folder never take each other's.
std::string automaticBackupPrefix(const std::filesystem::path& filesFolder) {
    return filesFolder.filename().string() + " Before Restore ";
}

std::unexpected<Error> backupError(BackupErrorCode code, std::string message) {
    return makeError(kBackupErrorDomain, code, std::move(message));
}

// The live recipes of a store file, as the library would list them. An older layout without
// the columns asked for answers nothing rather than a wrong number.
std::optional<std::size_t> liveRecipesIn(const std::filesystem::path& store) {
    auto database = Database::open(store, Database::Access::ReadOnly);
    if (!database) {
        return std::nullopt;
    }
    auto count = database->prepare(
        "SELECT count(*) FROM \"Recipe\" WHERE status IS NULL OR status != 'deleted'");
    if (!count) {
        return std::nullopt;
    }
    auto row = count->step();
    if (!row || !*row) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(count->columnInt64(0));
}

// The archive's comment names the recipes the store holds, so that a listing of backups
// need not inflate every store to count them. Backups written before it have no comment.
constexpr std::string_view kRecipesComment = "Miravel library backup, recipes: ";

std::string backupComment(std::size_t recipes) {
    return std::string(kRecipesComment) + std::to_string(recipes);
}

std::optional<std::size_t> recipesOfComment(std::string_view comment) {
    if (!comment.starts_with(kRecipesComment)) {
        return std::nullopt;
    }
    const std::string_view digits = comment.substr(kRecipesComment.size());
    std::size_t recipes = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), recipes);
    if (error != std::errc() || end != digits.data() + digits.size() || digits.empty()) {
        return std::nullopt;
    }
    return recipes;
}

std::string localStamp(Timestamp now) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(
        std::chrono::time_point_cast<std::chrono::system_clock::duration>(now));
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H.%M.%S", &local);
    return text;
}

// An entry's date: when its file was written, or now when that cannot be told.
Timestamp modificationTime(const std::filesystem::path& file) {
    return fileModificationTime(file).value_or(currentMoment());
}

// Removes a folder and everything in it when it goes, unless released.
class FolderGuard {
public:
    explicit FolderGuard(std::filesystem::path folder) : m_folder(std::move(folder)) {}
    ~FolderGuard() {
        if (!m_folder.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_folder, ignored);
        }
    }
    FolderGuard(const FolderGuard&) = delete;
    FolderGuard& operator=(const FolderGuard&) = delete;
    const std::filesystem::path& path() const { return m_folder; }

private:
    std::filesystem::path m_folder;
};

struct StoreSnapshot {
    std::string bytes;
    std::optional<std::size_t> recipes;
};

// A consistent copy of the store, made by SQLite from a connection of its own: it reads the
// committed state, including commits still only in the log beside the file.
Result<StoreSnapshot> storeSnapshot(const std::filesystem::path& store) {
    auto folder = makePrivateTemporaryFolder("miravel-backup");
    if (!folder) {
        return std::unexpected(folder.error());
    }
    FolderGuard guard(*folder);
    const auto copy = *folder / kStoreFileName;
    {
        auto database = Database::open(store, Database::Access::ReadOnly);
        if (!database) {
            return std::unexpected(database.error());
        }
        database->setBusyTimeout(std::chrono::seconds(10));
        auto vacuum = database->prepare("VACUUM INTO ?1");
        if (!vacuum) {
            return std::unexpected(vacuum.error());
        }
        if (auto bound = vacuum->bindText(1, copy.string()); !bound) {
            return std::unexpected(bound.error());
        }
        if (auto done = vacuum->step(); !done) {
            return std::unexpected(done.error());
        }
    }
    {
        // A single file, in the rollback journal's mode, needs nothing beside it.
        auto database = Database::open(copy, Database::Access::ReadWrite);
        if (!database) {
            return std::unexpected(database.error());
        }
        if (auto mode = database->execute("PRAGMA journal_mode=DELETE"); !mode) {
            return std::unexpected(mode.error());
        }
    }
    auto bytes = readFile(copy);
    if (!bytes) {
        return std::unexpected(bytes.error());
    }
    return StoreSnapshot{std::move(*bytes), liveRecipesIn(copy)};
}

// The files of the folder that go into a backup, sorted by name; the store first.
Result<std::vector<std::string>> backupNames(const std::filesystem::path& filesFolder) {
    std::error_code error;
    std::vector<std::string> names;
    std::filesystem::directory_iterator entries(filesFolder, error);
    if (error) {
        return backupError(BackupErrorCode::CannotRead,
                           "The library folder \"" + filesFolder.string() +
                               "\" could not be read: " + error.message() + ".");
    }
    for (const auto& entry : entries) {
        const std::string name = entry.path().filename().string();
        if (name == kStoreFileName || !isBackupEntryName(name)) {
            continue;
        }
        // A link or a folder named like a photo is none of the library's photos.
        if (!entry.is_symlink(error) && entry.is_regular_file(error)) {
            names.push_back(name);
        }
    }
    std::ranges::sort(names);
    return names;
}

Result<void> writeNewFile(const std::filesystem::path& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        return makeError(kFileErrorDomain, errno,
                         "Could not create \"" + path.string() + "\": " + std::strerror(errno));
    }
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + offset, bytes.size() - offset);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            const int failed = errno;
            ::close(fd);
            return makeError(kFileErrorDomain, failed,
                             "Could not write \"" + path.string() + "\": " + std::strerror(failed));
        }
        offset += static_cast<std::size_t>(written);
    }
    if (::close(fd) != 0) {
        return makeError(kFileErrorDomain, errno,
                         "Could not write \"" + path.string() + "\": " + std::strerror(errno));
    }
    return {};
}

// Whether the store written into the new folder can become the library.
Result<void> checkRestoredStore(const std::filesystem::path& store, const ModelVersions& versions) {
    auto invalid = [](const std::string& why) {
        return backupError(BackupErrorCode::NotABackup,
                           "The backup's library cannot be used: " + why + ".");
    };
    if (!Database::hasSqliteHeader(store)) {
        return invalid("its store is not a database");
    }
    auto version = readStoreVersion(store);
    if (!version) {
        return invalid(version.error().description);
    }
    const int current = versions.current->version();
    const bool ours = StoreMetadata{version->applicationId, version->modelVersion}.isMiravelStore();
    const bool readable = version->modelVersion == current ||
                          std::ranges::any_of(versions.steps, [&](const ConversionStep& step) {
                              return step.fromVersion == version->modelVersion;
                          });
    if (!ours) {
        return invalid("its store is not a Miravel library");
    }
    if (version->modelVersion > current) {
        return invalid("it was made by a newer version of Miravel");
    }
    if (!readable) {
        return invalid("its layout version " + std::to_string(version->modelVersion) +
                       " is not one this version of Miravel converts");
    }
    auto database = Database::open(store, Database::Access::ReadOnly);
    if (!database) {
        return invalid(database.error().description);
    }
    auto check = database->prepare("PRAGMA integrity_check(1)");
    if (!check) {
        return invalid(check.error().description);
    }
    auto row = check->step();
    if (!row) {
        return invalid(row.error().description);
    }
    if (!*row || check->columnText(0) != "ok") {
        return invalid("its store is damaged (" +
                       std::string(*row ? check->columnText(0) : "no answer") + ")");
    }
    if (version->modelVersion == current) {
        if (auto tables = checkStoreTables(*database, *versions.current); !tables) {
            return invalid(tables.error().description);
        }
    }
    return {};
}

// Files of the library that a backup does not hold and a restore must not drop (a damaged
// store kept by a repair, the copy kept by a conversion): given a second name in the new
// folder. The store's own journal files stay behind: they belong to the old store.
Result<void> carryOverOtherFiles(const std::filesystem::path& from,
                                 const std::filesystem::path& to) {
    std::error_code error;
    std::filesystem::directory_iterator entries(from, error);
    if (error) {
        return {};
    }
    for (const auto& entry : entries) {
        const std::string name = entry.path().filename().string();
        const std::string store = kStoreFileName;
        if (isBackupEntryName(name) || name == store + "-wal" || name == store + "-shm" ||
            name == store + "-journal" || name == store + ".tmp" || entry.is_symlink(error) ||
            !entry.is_regular_file(error) || std::filesystem::exists(to / name, error)) {
            continue;
        }
        if (::link(entry.path().c_str(), (to / name).c_str()) != 0) {
            std::filesystem::copy_file(entry.path(), to / name, error);
            if (error) {
                return backupError(BackupErrorCode::CannotWrite,
                                   "The file \"" + entry.path().string() +
                                       "\" could not be kept: " + error.message() + ".");
            }
        }
    }
    return {};
}

}  // namespace

std::string offeredBackupFileName(Timestamp now) {
    return "Backup " + localStamp(now) + "." + kBackupExtension;
}

bool isBackupEntryName(std::string_view name) {
    if (name == kStoreFileName) {
        return true;
    }
    if (name.size() <= 4 || !name.ends_with(".jpg") || name.front() == '.') {
        return false;
    }
    return std::ranges::none_of(
        name, [](char c) { return c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20; });
}

Result<BackupSummary> writeLibraryBackup(const std::filesystem::path& filesFolder,
                                         const std::filesystem::path& destination,
                                         const std::function<void(double)>& progress,
                                         int photoLevel) {
    const auto store = filesFolder / kStoreFileName;
    std::error_code error;
    if (!std::filesystem::is_regular_file(store, error)) {
        return backupError(BackupErrorCode::CannotRead,
                           "There is no library at \"" + filesFolder.string() + "\" to back up.");
    }
    auto names = backupNames(filesFolder);
    if (!names) {
        return std::unexpected(names.error());
    }
    auto writer = ZipWriter::create(destination);
    auto cannotWrite = [&](const Error& cause) {
        return backupError(BackupErrorCode::CannotWrite,
                           "The backup file \"" + destination.filename().string() +
                               "\" could not be written: " + cause.description + ".");
    };
    if (!writer) {
        return cannotWrite(writer.error());
    }
    auto snapshot = storeSnapshot(store);
    if (!snapshot) {
        return backupError(BackupErrorCode::CannotRead,
                           "The library's store \"" + store.string() +
                               "\" could not be read: " + snapshot.error().description + ".");
    }
    if (auto added = writer->add(kStoreFileName, snapshot->bytes, modificationTime(store));
        !added) {
        return cannotWrite(added.error());
    }
    const auto recipes = snapshot->recipes;
    if (recipes) {
        writer->setComment(backupComment(*recipes));
    }
    snapshot->bytes.clear();
    snapshot->bytes.shrink_to_fit();
    const double total = static_cast<double>(names->size() + 1);
    for (std::size_t i = 0; i < names->size(); ++i) {
        if (progress) {
            progress(static_cast<double>(i + 1) / total);
        }
        const auto photo = filesFolder / (*names)[i];
        auto bytes = readFile(photo, {.maxBytes = kMaxPhotoBytes, .regularFileOnly = true});
        if (!bytes) {
            return backupError(BackupErrorCode::CannotRead,
                               "The backup was not made: the photo \"" + photo.string() +
                                   "\" could not be read (" + bytes.error().description + ").");
        }
        if (auto added = writer->add((*names)[i], *bytes, modificationTime(photo), photoLevel);
            !added) {
            return cannotWrite(added.error());
        }
    }
    if (auto committed = writer->commit(); !committed) {
        return cannotWrite(committed.error());
    }
    if (progress) {
        progress(1.0);
    }
    return BackupSummary{destination, names->size(), recipes};
}

std::filesystem::path automaticBackupFile(const std::filesystem::path& filesFolder, Timestamp now) {
    const auto parent = filesFolder.parent_path();
    const std::string stamp = localStamp(now);
    const std::string prefix = automaticBackupPrefix(filesFolder);
    std::filesystem::path file = parent / (prefix + stamp + "." + kBackupExtension);
    std::error_code error;
    for (int attempt = 2; std::filesystem::exists(file, error); ++attempt) {
        file = parent / (prefix + stamp + " " + std::to_string(attempt) + "." + kBackupExtension);
    }
    return file;
}

Result<BackupCheck> verifyLibraryBackup(const std::filesystem::path& archive,
                                        const ModelVersions& versions) {
    const auto damaged = [&](const std::string& why) {
        return backupError(BackupErrorCode::NotABackup,
                           "\"" + archive.filename().string() + "\" " + why + ".");
    };
    auto reader = ZipReader::open(archive, ZipLimits{.maxEntrySize = kMaxFileBytes});
    if (!reader) {
        return damaged("cannot be read as a backup: " + reader.error().description);
    }
    auto folder = makePrivateTemporaryFolder("miravel-backup-check");
    if (!folder) {
        return std::unexpected(folder.error());
    }
    FolderGuard guard(*folder);
    BackupCheck check;
    std::set<std::string> seen;
    for (std::size_t i = 0; i < reader->entries().size(); ++i) {
        const std::string& name = reader->entries()[i].name;
        if (!isBackupEntryName(name) || !seen.insert(name).second) {
            return damaged("holds the entry \"" + name + "\", which is not a file of a library");
        }
        // Every entry is read through to its checksum; only the store is kept, to be opened.
        auto bytes = reader->read(i);
        if (!bytes) {
            return damaged("is damaged: the entry \"" + name + "\" cannot be read (" +
                           bytes.error().description + ")");
        }
        if (name == kStoreFileName) {
            if (auto written = writeNewFile(*folder / name, *bytes); !written) {
                return std::unexpected(written.error());
            }
        } else {
            ++check.photos;
        }
    }
    if (!seen.contains(kStoreFileName)) {
        return damaged("holds no library store");
    }
    if (auto checked = checkRestoredStore(*folder / kStoreFileName, versions); !checked) {
        return std::unexpected(checked.error());
    }
    check.recipes = liveRecipesIn(*folder / kStoreFileName);
    return check;
}

Result<BackupSummary> writeVerifiedLibraryBackup(const std::filesystem::path& filesFolder,
                                                 const std::filesystem::path& file,
                                                 const ModelVersions& versions,
                                                 const std::function<void(double)>& progress) {
    auto written = writeLibraryBackup(filesFolder, file, progress);
    if (!written) {
        return std::unexpected(written.error());
    }
    auto checked = verifyLibraryBackup(file, versions);
    std::error_code ignored;
    std::optional<std::string> fault;
    if (!checked) {
        fault = checked.error().description;
    } else if (written->recipes != checked->recipes) {
        const auto count = [](std::optional<std::size_t> n) {
            return n ? std::to_string(*n) : std::string("an unknown number of");
        };
        fault = "the library held " + count(written->recipes) + " recipes, the backup " +
                count(checked->recipes) + ".";
    }
    if (fault) {
        std::filesystem::remove(file, ignored);
        return backupError(BackupErrorCode::CannotWrite,
                           "The backup could not be verified, so it was removed: " + *fault);
    }
    return written;
}

std::optional<std::size_t> recipesInBackup(const std::filesystem::path& archive) {
    auto reader = ZipReader::open(archive, ZipLimits{.maxEntrySize = kMaxFileBytes});
    if (!reader) {
        return std::nullopt;
    }
    if (auto recorded = recipesOfComment(reader->comment())) {
        return recorded;
    }
    const auto& entries = reader->entries();
    const auto store =
        std::ranges::find(entries, std::string(kStoreFileName), &ZipReader::Entry::name);
    if (store == entries.end()) {
        return std::nullopt;
    }
    auto bytes = reader->read(static_cast<std::size_t>(store - entries.begin()));
    auto folder = makePrivateTemporaryFolder("miravel-backup-count");
    if (!bytes || !folder) {
        return std::nullopt;
    }
    FolderGuard guard(*folder);
    const auto copy = *folder / kStoreFileName;
    if (!writeNewFile(copy, *bytes) || !Database::hasSqliteHeader(copy)) {
        return std::nullopt;
    }
    return liveRecipesIn(copy);
}

std::optional<std::filesystem::path> latestAutomaticBackup(
    const std::filesystem::path& filesFolder) {
    std::error_code error;
    std::optional<std::filesystem::path> latest;
    std::filesystem::file_time_type latestTime;
    for (const auto& entry :
         std::filesystem::directory_iterator(filesFolder.parent_path(), error)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(automaticBackupPrefix(filesFolder)) ||
            entry.path().extension() != std::string(".") + kBackupExtension ||
            !entry.is_regular_file(error)) {
            continue;
        }
        const auto time = entry.last_write_time(error);
        if (!latest || time > latestTime || (time == latestTime && entry.path() > *latest)) {
            latest = entry.path();
            latestTime = time;
        }
    }
    return latest;
}

Result<RestoreSummary> restoreLibraryBackup(const std::filesystem::path& filesFolder,
                                            const std::filesystem::path& archive,
                                            const ModelVersions& versions) {
    auto reader = ZipReader::open(archive, ZipLimits{.maxEntrySize = kMaxFileBytes});
    if (!reader) {
        return backupError(BackupErrorCode::NotABackup,
                           "\"" + archive.filename().string() +
                               "\" is not a Miravel backup: " + reader.error().description + ".");
    }
    std::set<std::string> seen;
    for (const auto& entry : reader->entries()) {
        if (!isBackupEntryName(entry.name) || !seen.insert(entry.name).second) {
            return backupError(BackupErrorCode::NotABackup,
                               "\"" + archive.filename().string() +
                                   "\" is not a Miravel backup: it holds the entry \"" +
                                   entry.name + "\", which is not a file of a library.");
        }
    }
    if (!seen.contains(kStoreFileName)) {
        return backupError(BackupErrorCode::NotABackup, "\"" + archive.filename().string() +
                                                            "\" is not a Miravel backup: it "
                                                            "holds no library store.");
    }

    // The new library is made beside the old one, on the same file system, so that the two
    // can be exchanged in one rename.
    const auto parent = filesFolder.parent_path();
    if (auto made = createFolder(parent); !made) {
        return std::unexpected(made.error());
    }
    std::string pattern =
        (parent / (filesFolder.filename().string() + ".restoring-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        return backupError(BackupErrorCode::CannotWrite,
                           "A folder for the restored library could not be made beside \"" +
                               filesFolder.string() + "\": " + std::strerror(errno) + ".");
    }
    FolderGuard fresh(pattern);
    ::chmod(fresh.path().c_str(), 0755);
    std::size_t photos = 0;
    for (std::size_t i = 0; i < reader->entries().size(); ++i) {
        const std::string& name = reader->entries()[i].name;
        auto bytes = reader->read(i);
        if (!bytes) {
            return backupError(BackupErrorCode::NotABackup,
                               "\"" + archive.filename().string() + "\" is damaged: the entry \"" +
                                   name + "\" cannot be read (" + bytes.error().description + ").");
        }
        if (auto written = writeNewFile(fresh.path() / name, *bytes); !written) {
            return backupError(BackupErrorCode::CannotWrite, "The backup could not be restored: " +
                                                                 written.error().description + ".");
        }
        photos += name == kStoreFileName ? 0 : 1;
    }
    if (auto checked = checkRestoredStore(fresh.path() / kStoreFileName, versions); !checked) {
        return std::unexpected(checked.error());
    }
    for (const char* suffix : {"-wal", "-shm"}) {
        std::error_code ignored;
        std::filesystem::remove(fresh.path() / (std::string(kStoreFileName) + suffix), ignored);
    }

    RestoreSummary summary;
    summary.photos = photos;
    summary.recipes = liveRecipesIn(fresh.path() / kStoreFileName);
    std::error_code error;
    const bool hadLibrary = std::filesystem::is_directory(filesFolder, error);
    if (hadLibrary) {
        if (auto kept = carryOverOtherFiles(filesFolder, fresh.path()); !kept) {
            return std::unexpected(kept.error());
        }
        if (std::filesystem::exists(filesFolder / kStoreFileName, error)) {
            const auto previous = automaticBackupFile(filesFolder, currentMoment());
            auto saved = writeLibraryBackup(filesFolder, previous);
            if (!saved) {
                return backupError(BackupErrorCode::CannotWrite,
                                   "Nothing was restored: the library as it is could not be "
                                   "kept first. " +
                                       saved.error().description);
            }
            summary.previousLibrary = previous;
        }
    }
    if (auto flushed = flushFileSystemOf(fresh.path()); !flushed) {
        return backupError(BackupErrorCode::CannotWrite, "The backup could not be restored: " +
                                                             flushed.error().description + ".");
    }
    if (hadLibrary) {
        if (::renameat2(AT_FDCWD, fresh.path().c_str(), AT_FDCWD, filesFolder.c_str(),
                        RENAME_EXCHANGE) != 0) {
            return backupError(BackupErrorCode::CannotWrite,
                               "The backup could not be restored: the library folder could not "
                               "be exchanged (" +
                                   std::string(std::strerror(errno)) + "). Nothing was changed.");
        }
    } else if (::rename(fresh.path().c_str(), filesFolder.c_str()) != 0) {
        return backupError(
            BackupErrorCode::CannotWrite,
            "The backup could not be restored: " + std::string(std::strerror(errno)) + ".");
    }
    flushFolder(parent);
    // `fresh` now names the previous library's folder, kept in the automatic backup, and goes.
    return summary;
}

}  // namespace miravel
