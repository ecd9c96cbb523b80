#pragma once

#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

#include "import/MiravelWindowController.h"
#include "ingredients/IngredientParser.h"
#include "lib/AtomicFile.h"
#include "lib/MainQueue.h"
#include "lib/NotificationCenter.h"
#include "model/Library.h"
#include "model/UserSettings.h"

namespace miravel::fuzzing {

// One library for the whole run of a fuzz target that imports files: what the importers write
// must keep it openable, and no input may crash them.
struct FuzzImportLibrary {
    explicit FuzzImportLibrary(const std::string& name)
        : folder(std::filesystem::temp_directory_path() /
                 (name + "-" + std::to_string(::getpid()))),
          settings(folder / "settings.json", &center),
          library(folder / "library", settings, IngredientParser::sharedParser(), center, queue) {
        if (!library.open()) {
            std::abort();
        }
    }
    ~FuzzImportLibrary() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    // Imports the bytes as a file with the given extension (".mmf").
    void import(std::string_view bytes, const std::string& extension) {
        const auto path = folder / ("input" + extension);
        if (writeFileAtomically(path, bytes)) {
            MiravelWindowController controller(library);
            (void)controller.performImport(path);
        }
    }

    // Imports the bytes with one importer, whatever the file's extension would choose (Yum and
    // RecipeML files share theirs). An exception ends the import as the window controller
    // reports it, as a failed import.
    template <typename Importer>
    void importWith(std::string_view bytes, const std::string& extension) {
        const auto path = folder / ("input" + extension);
        if (writeFileAtomically(path, bytes)) {
            Importer importer(library);
            try {
                (void)importer.parseFile(path);
            } catch (const std::exception&) {
            }
        }
    }

    std::filesystem::path folder;
    NotificationCenter center;
    MainQueue queue;
    UserSettings settings;
    Library library;
};

}  // namespace miravel::fuzzing
