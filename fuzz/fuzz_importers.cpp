#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "import/MiravelWindowController.h"
#include "ingredients/IngredientParser.h"
#include "lib/AtomicFile.h"
#include "lib/MainQueue.h"
#include "lib/NotificationCenter.h"
#include "model/Library.h"
#include "model/UserSettings.h"

using namespace miravel;

namespace {

// One library for the whole run: what the importers write must keep it openable, and no
// input may crash them.
struct FuzzLibrary {
    FuzzLibrary()
        : folder(std::filesystem::temp_directory_path() /
                 ("miravel-fuzz-import-" + std::to_string(::getpid()))),
          settings(folder / "settings.json", &center),
          library(folder / "library", settings, IngredientParser::sharedParser(), center, queue) {
        if (!library.open()) {
            std::abort();
        }
    }
    ~FuzzLibrary() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    std::filesystem::path folder;
    NotificationCenter center;
    MainQueue queue;
    UserSettings settings;
    Library library;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzLibrary fuzz;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    MiravelWindowController controller(fuzz.library);
    for (const char* extension : {".yml", ".md", ".miravelrecipe", ".miravelrecipes",
                                  // The property-list, XML and key-value formats of other
                                  // recipe programs.
                                  ".mgourmet", ".ysr", ".xml", ".vrc", ".grmt", ".kreml"}) {
        const auto path = fuzz.folder / (std::string("input") + extension);
        if (writeFileAtomically(path, input)) {
            (void)controller.performImport(path);
        }
    }
    return 0;
}
