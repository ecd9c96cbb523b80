#include <ostream>

#include "cli/CommandLine.h"
#include "lib/ApplicationIdentifier.h"
#include "lib/ResourceFolder.h"
#include "model/Keychain.h"
#include "model/UserFolders.h"
#include "model/UserSettings.h"

namespace miravel::cli {

namespace {

int info(Invocation& invocation) {
    std::ostream& out = invocation.out;
    out << "Library folder: " << invocation.library.string() << "\n"
        << "Store file:     " << (invocation.library / kStoreFileName).string() << "\n"
        << "Settings file:  " << UserSettings::standard().file().string() << "\n";
    auto keychain = Keychain::systemKeychain(configFolder());
    out << "Keychain:       " << keychain->backendName() << "\n";
    auto resources = resourceFolder();
    out << "Resources:      " << (resources ? resources->string() : resources.error().description)
        << "\n"
        << "Identifier:     " << kApplicationIdentifier << "\n";
    return resources ? kExitOk : kExitFailure;
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
                     info});
}

}  // namespace miravel::cli
