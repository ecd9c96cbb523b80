#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "lib/DateText.h"
#include "lib/Error.h"
#include "store/StoreConversion.h"

namespace miravel {

// Error domain of backups and restores; the description is the sentence the user is shown.
inline constexpr const char* kBackupErrorDomain = "miravel.backup";
enum class BackupErrorCode {
    CannotRead = 1,
    CannotWrite = 2,
    NotABackup = 3,
    NothingToUndo = 4,
};

inline constexpr const char* kBackupExtension = "miravelbak";

// The photos are the program's own thumbnails; a file of the folder far beyond that is read
// as a failure rather than into memory.
inline constexpr std::size_t kMaxPhotoBytes = std::size_t{64} << 20;

// "Backup 2026-12-07 14.05.09.miravelbak" for that local moment.
std::string offeredBackupFileName(Timestamp now);

// Whether a file of the files folder, by its name, is part of a backup: the store, and the
// photos saved as ".jpg" (exactly that extension). The same rule decides which entries of an
// archive a restore accepts; a name with a folder in it, or any other name, is refused.
bool isBackupEntryName(std::string_view name);

struct BackupSummary {
    std::filesystem::path file;
    std::size_t photos = 0;
    // The live recipes of the store as it went in; none when they could not be counted.
    std::optional<std::size_t> recipes;
};

// Writes a backup of the library in `filesFolder` to `destination` (replacing a file there
// only once the whole archive is written). The store goes in as a snapshot taken through
// SQLite, so it holds every commit made before the snapshot and none made during it; saves
// may go on meanwhile. A photo that cannot be read fails the backup with a message that
// names it, and nothing is left at `destination`. Any thread.
// Photos are JPEG already and go in without deflating them again (`photoLevel` 0) unless
// asked; the store is deflated at level 9.
[[nodiscard]] Result<BackupSummary> writeLibraryBackup(
    const std::filesystem::path& filesFolder, const std::filesystem::path& destination,
    const std::function<void(double)>& progress = {}, int photoLevel = 0);

struct RestoreSummary {
    // The library as it was before, kept as a backup file beside the files folder; none when
    // there was no library.
    std::optional<std::filesystem::path> previousLibrary;
    std::size_t photos = 0;
    std::optional<std::size_t> recipes;  // the live recipes of the restored store
};

struct BackupCheck {
    std::size_t photos = 0;
    std::optional<std::size_t> recipes;
};

// Whether `archive` would restore, without restoring it: every entry a file of a library and
// readable through its checksum, the store present and passing the checks a restore makes.
// Only the store is written out, into a private folder, so checking costs a read of the file.
[[nodiscard]] Result<BackupCheck> verifyLibraryBackup(const std::filesystem::path& archive,
                                                      const ModelVersions& versions);

// writeLibraryBackup, then verifyLibraryBackup of what was written, which must hold as many
// recipes as went in. A backup that fails the check is removed and the error says why.
[[nodiscard]] Result<BackupSummary> writeVerifiedLibraryBackup(
    const std::filesystem::path& filesFolder, const std::filesystem::path& destination,
    const ModelVersions& versions, const std::function<void(double)>& progress = {});

// The live recipes of the library a backup file holds, for a listing: the count the backup
// recorded when it was written, else (an older backup) counted in its store; none when the
// file is no backup or its store cannot be read.
std::optional<std::size_t> recipesInBackup(const std::filesystem::path& archive);

// "Miravel Before Restore 2026-12-07 14.05.09.miravelbak" (the files folder's name first), in
// the files folder's parent.
std::filesystem::path automaticBackupFile(const std::filesystem::path& filesFolder, Timestamp now);
// The newest automatic backup of the library, if any.
std::optional<std::filesystem::path> latestAutomaticBackup(
    const std::filesystem::path& filesFolder);

// Replaces the library in `filesFolder` (its store closed) by the one in `archive`. The
// archive is written into a new folder beside the library and checked there: every entry a
// plain file name the backup rule accepts, the store present, opening, passing SQLite's
// integrity check, of this program and of a layout `versions` reads (an earlier one is
// converted by the start-up that follows), holding every table. Only then are the two
// folders exchanged in one step. The previous library is first kept as an automatic backup.
// On any failure the library is left exactly as it was and the error says why. Any thread.
[[nodiscard]] Result<RestoreSummary> restoreLibraryBackup(const std::filesystem::path& filesFolder,
                                                          const std::filesystem::path& archive,
                                                          const ModelVersions& versions);

}  // namespace miravel
