#include <ostream>

#include "cli/CommandLine.h"
#include "model/MiravelObjectModel.h"
#include "model/UserFolders.h"
#include "store/StoreRepair.h"

namespace miravel::cli {

namespace {

int repair(Invocation& invocation) {
    if (invocation.readOnly) {
        return invocation.failure("repair writes a new store, which --read-only forbids.");
    }
    const auto store = invocation.library / kStoreFileName;
    auto repaired = repairStore(store, miravelObjectModel());
    if (!repaired) {
        return invocation.failure(repaired.error().description);
    }
    if (repaired->wasSound) {
        invocation.out << "The library " << store.string()
                       << " is not damaged; nothing was changed.\n";
        return kExitOk;
    }
    invocation.out << "Recovered into a new store at " << store.string() << ":\n";
    for (const auto& [table, rows] : repaired->recovered) {
        invocation.out << "  " << table << ": " << rows << "\n";
    }
    invocation.out << "The damaged store was kept as " << repaired->damagedCopy.string()
                   << ". Rows on its damaged pages could not be read and are not in the new "
                      "store.\n";
    return kExitOk;
}

}  // namespace

void addRepairVerbs(CommandLine& commandLine) {
    commandLine.add({"",
                     "repair",
                     "",
                     "Copy what can still be read of a damaged library into a new store; the "
                     "damaged file is kept beside it with a \".damaged-<time>\" suffix.",
                     {},
                     0,
                     0,
                     repair});
}

}  // namespace miravel::cli
