#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <system_error>

#include "cli/CommandLine.h"
#include "cli/LibrarySession.h"
#include "import/MiravelWindowController.h"
#include "lib/DateText.h"
#include "model/AutomaticBackups.h"
#include "model/Library.h"
#include "model/LibraryBackup.h"
#include "model/MiravelObjectModel.h"
#include "model/UserFolders.h"

namespace miravel::cli {

namespace {

// Where a backup goes: the offered name in the current folder, or in the folder given, or
// the file given.
std::filesystem::path backupDestination(const Invocation& invocation) {
    const std::string offered = MiravelWindowController::createBackup().fileName;
    if (invocation.arguments.empty()) {
        return std::filesystem::current_path() / offered;
    }
    std::filesystem::path given = invocation.arguments[0];
    std::error_code error;
    if (std::filesystem::is_directory(given, error)) {
        return given / offered;
    }
    return given;
}

std::string sizeText(std::uintmax_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

std::string recipeCountText(std::optional<std::size_t> recipes) {
    if (!recipes) {
        return "? recipes";
    }
    return std::to_string(*recipes) + (*recipes == 1 ? " recipe" : " recipes");
}

// Every backup in the library's backups folder, newest first: when, how many recipes, how
// large, what kind.
int listBackups(Invocation& invocation, const std::filesystem::path& folder) {
    const auto backups = backupsIn(folder);
    if (backups.empty()) {
        invocation.err << "No backups in " << folder.string() << ".\n";
        return kExitOk;
    }
    for (const auto& backup : backups) {
        const auto recipes = recipesInBackup(backup.file);
        invocation.out << formatDateText(backup.taken) << "\t" << recipeCountText(recipes) << "\t"
                       << sizeText(backup.bytes) << "\t" << backupKind(backup) << "\t"
                       << backup.file.filename().string() << "\n";
    }
    return kExitOk;
}

// An automatic backup now, when one is due (or with --force whatever the schedule), checked
// and followed by the thinning of the older ones.
int automaticBackup(Invocation& invocation, LibrarySession& session) {
    Library& library = session.application().library();
    const auto folder = backupsFolder(library.filesFolder(), library.settings());
    auto run = runAutomaticBackup(library.filesFolder(), folder, miravelModelVersions(),
                                  currentMoment(), invocation.has("force"));
    if (!run) {
        return invocation.failure(run.error().description);
    }
    if (!run->written) {
        invocation.out << "No automatic backup was due: the newest is less than a day old, or "
                          "the library has not changed since.\n";
    } else {
        invocation.out << "Automatic backup written: " << run->written->string() << "\n";
    }
    for (const auto& deleted : run->deleted) {
        invocation.out << "Thinned out: " << deleted.filename().string() << "\n";
    }
    return kExitOk;
}

int backup(Invocation& invocation) {
    if (invocation.has("list") || invocation.has("automatic")) {
        if (!invocation.arguments.empty()) {
            return invocation.usageError("--list and --automatic take no DEST.");
        }
    }
    const auto destination = backupDestination(invocation);
    LibrarySession session(invocation);
    if (session.context() == nullptr) {
        return kExitFailure;
    }
    if (invocation.has("list")) {
        Library& library = session.application().library();
        return listBackups(invocation, backupsFolder(library.filesFolder(), library.settings()));
    }
    if (invocation.has("automatic")) {
        return automaticBackup(invocation, session);
    }
    MiravelWindowController controller(session.application().library());
    invocation.err << MiravelWindowController::kCreatingBackupLabel << "\n";
    const AlertText alert = controller.createBackupInBackgroundThread(destination);
    if (alert.title != "Backup Complete") {
        return invocation.failure(alert.message);
    }
    invocation.out << alert.title << ": " << alert.message << "\n"
                   << "(" << std::filesystem::absolute(destination).string() << ")\n";
    return kExitOk;
}

int restore(Invocation& invocation) {
    const bool undo = invocation.has("undo");
    const bool latest = invocation.has("latest");
    if (undo && latest) {
        return invocation.usageError("give --undo or --latest, not both.");
    }
    if ((undo || latest) == !invocation.arguments.empty()) {
        return invocation.usageError(
            undo || latest ? std::string(undo ? "--undo" : "--latest") + " takes no FILE."
                           : "name the backup file to restore, or give --undo or --latest.");
    }
    if (invocation.readOnly) {
        return invocation.failure("a restore replaces the library, which --read-only forbids.");
    }
    std::filesystem::path archive;
    if (latest) {
        const auto folder = backupsFolder(invocation.library, commandLineSettings());
        const auto backups = backupsIn(folder);
        if (backups.empty()) {
            return invocation.failure("there is no backup in " + folder.string() + ".");
        }
        archive = backups.front().file;
    } else if (undo) {
        auto latest = latestAutomaticBackup(invocation.library);
        if (!latest) {
            return invocation.failure(
                "there is no library kept by an earlier restore to put back.");
        }
        archive = *latest;
    } else {
        archive = invocation.arguments[0];
    }
    // The restored library is made beside the folder, so it is the folder's parent (or the
    // nearest one that exists, where the folders will be made) that must be writable.
    auto parent = std::filesystem::absolute(invocation.library).parent_path();
    std::error_code error;
    while (!std::filesystem::exists(parent, error) && parent.has_parent_path() &&
           parent != parent.parent_path()) {
        parent = parent.parent_path();
    }
    if (::access(parent.c_str(), W_OK) != 0) {
        return invocation.failure("The library at " + invocation.library.string() +
                                  " is read-only, so nothing was changed.");
    }
    const std::string question =
        undo ? "Put back the library kept in \"" + archive.filename().string() +
                   "\", replacing the library as it is now?"
             : (latest ? "The newest backup is \"" + archive.filename().string() + "\". "
                       : std::string()) +
                   MiravelWindowController::confirmRestoreBackup().message +
                   " The library as it is now is replaced (and kept as a backup file).";
    if (auto answer = confirm(invocation, question); answer != Confirmation::Yes) {
        return answer == Confirmation::Refused ? kExitUsage : kExitFailure;
    }
    invocation.err << "Restoring from backup... please wait.\n";
    auto restored = restoreLibraryBackup(invocation.library, archive, miravelModelVersions());
    if (!restored) {
        return invocation.failure(restored.error().description +
                                  " Your library was left as it was.");
    }
    // Opened as the application would: converted when the backup is of an older layout.
    LibrarySession session(invocation);
    if (session.context() == nullptr) {
        return kExitFailure;
    }
    invocation.out << "Restore from backup complete.";
    if (restored->previousLibrary) {
        invocation.out << " The library as it was before is kept in \""
                       << restored->previousLibrary->string()
                       << "\"; \"miravel restore --undo\" puts it back.";
    }
    invocation.out << "\n";
    return kExitOk;
}

}  // namespace

void addBackupVerbs(CommandLine& commandLine) {
    commandLine.add({"",
                     "backup",
                     "[DEST]",
                     "Back up the whole library (store and photos) into one .miravelbak file: "
                     "DEST, or the offered name \"Backup <date time>.miravelbak\" in DEST when it "
                     "is a folder, or in the current folder. --list shows the backups of the "
                     "backups folder (\"Backups\" beside the library, or the \"BackupsFolder\" "
                     "setting); --automatic writes an automatic backup there when one is due "
                     "(--force: now), checks it and thins the older ones to the newest of the "
                     "last 7 days, 4 weeks and 12 months.",
                     {{"list", "", "list the backups folder"},
                      {"automatic", "", "an automatic backup, when one is due"},
                      {"force", "", "with --automatic: even when none is due"}},
                     0,
                     1,
                     backup,
                     LibraryAccess::Reads});
    commandLine.add(
        {"",
         "restore",
         "[FILE]",
         "Replace the library by the one in a backup FILE. The library as it was is "
         "kept as \"<folder> Before Restore <date time>.miravelbak\" beside the library "
         "folder; --undo puts the latest of those back. --latest restores the newest "
         "backup of the backups folder.",
         {kYesOption,
          {"undo", "", "put back the library kept by the last restore"},
          {"latest", "", "the newest backup of the backups folder (see backup --list)"}},
         0,
         1,
         restore});
}

}  // namespace miravel::cli
