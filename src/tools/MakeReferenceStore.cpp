// Builds the read-only reference store "Ingredients.sqlite" from the editable sources (one
// ingredient file per aisle, and units.txt); run by the build whenever a source changes.
//
//   miravel-make-reference-store OUTPUT.sqlite UNITS.txt INGREDIENTS.txt...

#include <filesystem>
#include <iostream>
#include <map>
#include <string>

#include "ingredients/IngredientReferenceStore.h"
#include "ingredients/ReferenceStoreSource.h"
#include "lib/AtomicFile.h"
#include "lib/LocalizedSettingsManager.h"
#include "store/Database.h"
#include "store/PersistentStoreCoordinator.h"

namespace {

using namespace miravel;

Result<void> writeStore(const std::filesystem::path& file,
                        const std::vector<IngredientRow>& ingredients,
                        const std::vector<UnitRow>& units) {
    auto coordinator = PersistentStoreCoordinator::open(file, IngredientReferenceStore::model());
    if (!coordinator) {
        return std::unexpected(coordinator.error());
    }
    const ManagedObjectModel& model = IngredientReferenceStore::model();
    PersistentStoreCoordinator::SaveRequest request;
    const auto optionalValue = [](const std::optional<std::string>& text) {
        return text ? Value(*text) : Value();
    };
    for (const IngredientRow& row : ingredients) {
        auto id = (*coordinator)->newRowId(*model.entity("Ingredient"));
        if (!id) {
            return std::unexpected(id.error());
        }
        request.inserts.emplace_back(
            model.entity("Ingredient"),
            StoredRow{*id, {Value(row.name), optionalValue(row.pluralized), Value(row.aisle)}, {}});
    }
    for (const UnitRow& row : units) {
        auto id = (*coordinator)->newRowId(*model.entity("Unit"));
        if (!id) {
            return std::unexpected(id.error());
        }
        request.inserts.emplace_back(
            model.entity("Unit"),
            StoredRow{
                *id, {Value(row.name), optionalValue(row.pluralized), Value(row.canonical)}, {}});
    }
    return (*coordinator)->save(request);
}

// The shipped file is opened read-only from a folder the program cannot write, so it must
// not need a write-ahead log beside it.
Result<void> settleJournal(const std::filesystem::path& file) {
    auto database = Database::open(file, Database::Access::ReadWrite);
    if (!database) {
        return std::unexpected(database.error());
    }
    return database->execute("PRAGMA journal_mode=DELETE; VACUUM;");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::cerr << "usage: miravel-make-reference-store OUTPUT UNITS.txt INGREDIENTS.txt...\n";
        return 2;
    }
    auto unitText = readFile(argv[2]);
    if (!unitText) {
        std::cerr << "cannot read " << argv[2] << "\n";
        return 1;
    }
    auto units = readUnitSource(*unitText);
    if (!units) {
        std::cerr << argv[2] << ": " << units.error().description << ": "
                  << units.error().failureReason << "\n";
        return 1;
    }
    auto aisles = LocalizedSettingsManager::sharedManager().aisleNames().keys();
    std::vector<IngredientRow> ingredients;
    std::map<std::string, std::string, std::less<>> fileOfName;
    for (int i = 3; i < argc; ++i) {
        auto text = readFile(argv[i]);
        if (!text) {
            std::cerr << "cannot read " << argv[i] << "\n";
            return 1;
        }
        auto rows = readIngredientSource(*text, aisles);
        if (!rows) {
            std::cerr << argv[i] << ": " << rows.error().description << ": "
                      << rows.error().failureReason << "\n";
            return 1;
        }
        for (IngredientRow& row : *rows) {
            auto [where, added] = fileOfName.emplace(row.name, argv[i]);
            if (!added) {
                std::cerr << argv[i] << ": \"" << row.name << "\" is also listed in "
                          << where->second << "\n";
                return 1;
            }
            ingredients.push_back(std::move(row));
        }
    }
    std::filesystem::path output = argv[1];
    std::filesystem::path temporary = output;
    temporary += ".building";
    std::error_code ignored;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        std::filesystem::remove(temporary.string() + suffix, ignored);
    }
    if (auto written = writeStore(temporary, ingredients, *units); !written) {
        std::cerr << "cannot write " << temporary << ": " << written.error().description << "\n";
        return 1;
    }
    if (auto settled = settleJournal(temporary); !settled) {
        std::cerr << "cannot finish " << temporary << ": " << settled.error().description << "\n";
        return 1;
    }
    std::filesystem::rename(temporary, output);
    std::cout << "reference store: " << ingredients.size() << " ingredients, " << units->size()
              << " unit forms\n";
    return 0;
}
