#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lib/DateText.h"
#include "lib/Error.h"
#include "store/StoreConversion.h"

namespace miravel {

class UserSettings;

// Backups the program keeps without being asked, in a "Backups" folder beside the library
// folder (or the folder the "BackupsFolder" setting names): one when the library changed
// and the newest is a day old, thinned to the newest of each of the last 7 days, 4 weeks and
// 12 months that have one. Backups made by hand are never thinned.

inline constexpr const char* kBackupsFolderName = "Backups";

struct KeptBackup {
    std::filesystem::path file;
    Timestamp taken;
    std::uintmax_t bytes = 0;
    bool automatic = false;
};

// "Automatic Backup 2026-12-07 14.05.09.miravelbak" for that local moment, and back.
std::string automaticBackupName(Timestamp taken);
std::optional<Timestamp> automaticBackupTime(std::string_view fileName);

// "Before Conversion 2026-12-07 14.05.09.miravelbak": taken before the store is converted to
// a newer layout, whatever the "AutomaticBackups" setting, and never thinned.
std::string beforeConversionBackupName(Timestamp taken);

// What kind of backup a listed file is: "automatic", "before conversion" or "by hand".
std::string_view backupKind(const KeptBackup& backup);

std::filesystem::path backupsFolder(const std::filesystem::path& filesFolder,
                                    const UserSettings& settings);

// Every backup file in the folder, newest first; automatic ones by the time in their name,
// the others by their modification time.
std::vector<KeptBackup> backupsIn(const std::filesystem::path& folder);

// The automatic backups that the keep-7-daily, 4-weekly, 12-monthly rule lets go (local
// calendar days, ISO weeks, months). Any other file is never among them.
std::vector<std::filesystem::path> backupsBeyondKeeping(const std::vector<KeptBackup>& backups);

// When the library last changed: its store or the store's write-ahead log.
Timestamp libraryChangedAt(const std::filesystem::path& filesFolder);

// Due when there is none yet, or the newest is a day old and the library changed since.
bool automaticBackupDue(std::optional<Timestamp> newest, Timestamp changed, Timestamp now);

struct AutomaticBackupRun {
    std::optional<std::filesystem::path> written;  // none when none was due
    std::vector<std::filesystem::path> deleted;
};

// Writes an automatic backup when one is due (or always, with `evenIfNotDue`), checks that it
// would restore (verifyLibraryBackup) and holds as many recipes as the library, then thins the
// folder. A backup that fails the check is removed and reported, and nothing is thinned. Any
// thread.
[[nodiscard]] Result<AutomaticBackupRun> runAutomaticBackup(
    const std::filesystem::path& filesFolder, const std::filesystem::path& folder,
    const ModelVersions& versions, Timestamp now, bool evenIfNotDue = false);

// The backup taken before a conversion, into `folder`, checked as an automatic one is. A
// conversion that cannot be preceded by one does not run. None is taken (and none is needed)
// of a store the conversion will refuse.
[[nodiscard]] Result<std::optional<std::filesystem::path>> backUpBeforeConversion(
    const std::filesystem::path& filesFolder, const std::filesystem::path& folder,
    const ModelVersions& versions, Timestamp now);

}  // namespace miravel
