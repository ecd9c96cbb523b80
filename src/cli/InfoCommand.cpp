#include <ostream>

#include "cli/CommandLine.h"
#include "cli/LibrarySession.h"
#include "lib/ApplicationIdentifier.h"
#include "lib/ResourceFolder.h"
#include "model/Keychain.h"
#include "model/MiravelObjectModel.h"
#include "model/SyncedObject.h"
#include "model/UserFolders.h"
#include "model/UserSettings.h"
#include "store/StoreConversion.h"

namespace miravel::cli {

namespace {

int info(Invocation& invocation) {
    std::ostream& out = invocation.out;
    out << "Library folder:  " << invocation.library.string() << "\n"
        << "Store file:      " << (invocation.library / kStoreFileName).string() << "\n"
        << "Settings file:   " << commandLineSettings().file().string() << "\n";
    auto keychain = Keychain::systemKeychain(configFolder());
    out << "Keychain:        " << keychain->backendName() << "\n";
    auto resources = resourceFolder();
    out << "Resources:       " << (resources ? resources->string() : resources.error().description)
        << "\n"
        << "Identifier:      " << kApplicationIdentifier << "\n";
    if (!resources) {
        return kExitFailure;
    }
    LibrarySession session(invocation);
    ManagedObjectContext* context = session.context();
    if (context == nullptr) {
        return kExitFailure;
    }
    const Predicate& live = livePredicate();
    const Predicate tombstones = Predicate::fromTrustedFormat("status == 'deleted'");
    auto version = readStoreVersion(invocation.library / kStoreFileName);
    out << "Model version:   "
        << (version ? std::to_string(version->modelVersion) : version.error().description)
        << " (this program writes " << miravelObjectModel().version() << ")\n";
    out << "Signed in:       " << (session.application().isLoggedIn() ? "yes" : "no") << "\n";
    for (const auto& entity : miravelObjectModel().entities()) {
        auto count = context->countForFetchRequest(FetchRequest{entity.name, live, {}, 0, true});
        auto deleted =
            context->countForFetchRequest(FetchRequest{entity.name, tombstones, {}, 0, true});
        if (!count || !deleted) {
            return invocation.failure((count ? deleted : count).error().description);
        }
        out << (entity.name + ":" + std::string(17, ' ')).substr(0, 17) << *count;
        if (*deleted > 0) {
            out << " (and " << *deleted << " deleted, kept until the next sync)";
        }
        out << "\n";
    }
    return kExitOk;
}

}  // namespace

void addInfoVerbs(CommandLine& commandLine) {
    commandLine.add({"",
                     "info",
                     "",
                     "Show where the library, its store, the settings and the passwords are kept.",
                     {},
                     0,
                     0,
                     info,
                     LibraryAccess::Reads});
}

}  // namespace miravel::cli
