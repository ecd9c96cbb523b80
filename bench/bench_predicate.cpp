#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "model/MiravelObjectModel.h"
#include "store/EntityDescription.h"
#include "store/KeyValueSource.h"
#include "store/Predicate.h"
#include "store/PredicateSqlFunctions.h"
#include "store/SqlWhere.h"

namespace {

using miravel::ManagedObjectModel;
using miravel::Predicate;
using miravel::Value;

constexpr int kRecipes = 50000;

// About 2 KB per recipe, made the way users' libraries look: a dish name (a third of them
// with accents), an ingredient list, numbered directions and a note.
struct Recipe {
    std::string uid;
    std::string name;
    std::string ingredients;
    std::string directions;
    std::string notes;
    std::string source;
};

Recipe makeRecipe(int index) {
    static const std::array<const char*, 12> dishes = {
        "Cr\xC3\xA8me br\xC3\xBBl\xC3\xA9"
        "e",
        "Apple pie",
        "Boeuf bourguignon",
        "Pad thai",
        "Cr\xC3\xAApes Suzette",
        "Chicken tikka masala",
        "G\xC3\xA2teau basque",
        "Lemon drizzle cake",
        "Saut\xC3\xA9"
        "ed greens",
        "Shakshuka",
        "Cr\xC3\xA8me caramel",
        "Banana bread"};
    static const std::array<const char*, 10> adjectives = {
        "Classic", "Easy",   "Grandma's", "Spicy",     "Vegan",
        "Quick",   "Rustic", "Summer",    "Weeknight", "Holiday"};
    static const std::array<const char*, 16> ingredients = {"2 cups all-purpose flour",
                                                            "1 tsp baking soda",
                                                            "1/2 cup unsalted butter, softened",
                                                            "3 large eggs",
                                                            "1 cup whole milk",
                                                            "200 g dark chocolate, chopped",
                                                            "1 vanilla pod, split",
                                                            "Zest of 1 lemon",
                                                            "2 tbsp olive oil",
                                                            "1 onion, finely diced",
                                                            "3 cloves garlic, minced",
                                                            "400 g chopped tomatoes",
                                                            "Salt and pepper to taste",
                                                            "1 tsp ground cumin",
                                                            "250 ml double cream",
                                                            "A pinch of fleur de sel"};
    static const std::array<const char*, 8> steps = {
        "Heat the oven to 180 \xC2\xB0"
        "C and line a tin with baking paper.",
        "Whisk the dry ingredients together in a large bowl until evenly combined.",
        "Melt the butter over a low heat, then leave it to cool for a few minutes.",
        "Fold everything together gently; do not overmix or the crumb will be tough.",
        "Simmer uncovered for 20 minutes, stirring now and then, until thickened.",
        "Pour into the tin, smooth the top and bake until a skewer comes out clean.",
        "Leave to cool in the tin for ten minutes before turning out onto a rack.",
        "Season to taste and serve warm with a spoonful of yoghurt on the side."};
    unsigned state = static_cast<unsigned>(index) * 2654435761u + 12345u;
    const auto next = [&] {
        state = state * 1103515245u + 12345u;
        return (state >> 16) & 0x7FFF;
    };
    Recipe recipe;
    recipe.uid = "5E0C1A2B-7F3D-4C21-9B8E-" + std::to_string(100000000000 + index);
    recipe.name = std::string(adjectives[next() % adjectives.size()]) + " " +
                  dishes[next() % dishes.size()] + " #" + std::to_string(index);
    for (int i = 0; i < 21; ++i) {
        recipe.ingredients += ingredients[next() % ingredients.size()];
        recipe.ingredients += '\n';
    }
    for (int i = 0; i < 18; ++i) {
        recipe.directions += std::to_string(i + 1) + ". " + steps[next() % steps.size()] + "\n";
    }
    recipe.notes =
        "Keeps for three days in an airtight container. Freezes well for up to a month; thaw "
        "overnight in the fridge and warm through gently before serving.";
    recipe.source = next() % 3 == 0 ? "Grandm\xC3\xA8re's notebook" : "https://example.org/recipes";
    return recipe;
}

class RecipeObject : public miravel::KeyValueSource {
public:
    explicit RecipeObject(Recipe recipe) : m_recipe(std::move(recipe)) {}
    Value valueForKeyPath(std::string_view keyPath) const override {
        if (keyPath == "name") {
            return Value(m_recipe.name);
        }
        if (keyPath == "ingredients") {
            return Value(m_recipe.ingredients);
        }
        if (keyPath == "source") {
            return Value(m_recipe.source);
        }
        if (keyPath == "uid") {
            return Value(m_recipe.uid);
        }
        return Value();
    }

private:
    Recipe m_recipe;
};

void check(bool ok, const char* what, sqlite3* database) {
    if (!ok) {
        std::fprintf(stderr, "%s: %s\n", what, database ? sqlite3_errmsg(database) : "");
        std::abort();
    }
}

// The store's file, laid out as the store lays it out, built once for all benchmarks.
class Library {
public:
    Library() {
        m_path = std::filesystem::temp_directory_path() /
                 ("miravel-bench-predicate-" + std::to_string(::getpid()) + ".sqlite");
        std::filesystem::remove(m_path);
        check(sqlite3_open(m_path.c_str(), &m_database) == SQLITE_OK, "open", m_database);
        miravel::registerPredicateSqlFunctions(m_database);
        sqlite3_exec(m_database, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        const auto& recipe = *miravel::miravelObjectModel().entity("Recipe");
        std::string create = "CREATE TABLE \"Recipe\" (\"id\" INTEGER PRIMARY KEY";
        for (const auto& attribute : recipe.attributes) {
            create += ", \"" + attribute.name + "\"";
        }
        check(sqlite3_exec(m_database, (create + ")").c_str(), nullptr, nullptr, nullptr) ==
                  SQLITE_OK,
              "create", m_database);
        sqlite3_exec(m_database, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* insert = nullptr;
        check(sqlite3_prepare_v2(m_database,
                                 "INSERT INTO \"Recipe\" (\"id\", \"uid\", \"name\", "
                                 "\"ingredients\", \"directions\", \"notes\", \"source\") "
                                 "VALUES (?, ?, ?, ?, ?, ?, ?)",
                                 -1, &insert, nullptr) == SQLITE_OK,
              "prepare insert", m_database);
        std::size_t bytes = 0;
        for (int i = 1; i <= kRecipes; ++i) {
            Recipe r = makeRecipe(i);
            bytes += r.name.size() + r.ingredients.size() + r.directions.size() + r.notes.size() +
                     r.source.size() + r.uid.size();
            const miravel::SqlWhere row{
                "",
                {Value(i), Value(r.uid), Value(r.name), Value(r.ingredients), Value(r.directions),
                 Value(r.notes), Value(r.source)}};
            check(row.bindTo(insert).has_value() && sqlite3_step(insert) == SQLITE_DONE, "insert",
                  m_database);
            sqlite3_reset(insert);
            m_objects.emplace_back(std::move(r));
        }
        sqlite3_finalize(insert);
        sqlite3_exec(m_database, "COMMIT", nullptr, nullptr, nullptr);
        m_averageBytes = bytes / kRecipes;
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    ~Library() {
        sqlite3_close(m_database);
        std::filesystem::remove(m_path);
    }

    sqlite3* database() const { return m_database; }
    const std::vector<RecipeObject>& objects() const { return m_objects; }
    std::size_t averageBytes() const { return m_averageBytes; }

private:
    std::filesystem::path m_path;
    sqlite3* m_database = nullptr;
    std::vector<RecipeObject> m_objects;
    std::size_t m_averageBytes = 0;
};

Library& library() {
    static Library instance;
    return instance;
}

enum class Reading {
    Default,       // as the store opens its file today (4 KB pages read with pread)
    MemoryMapped,  // PRAGMA mmap_size: pages read in place
    LargeCache,    // PRAGMA cache_size big enough for the whole file
};

// One fetch as the store runs it: compile, prepare, bind, step through every match.
void searchInStore(benchmark::State& state, const char* format, const char* term, Reading reading) {
    Library& books = library();
    sqlite3_exec(
        books.database(),
        reading == Reading::MemoryMapped ? "PRAGMA mmap_size = 1073741824" : "PRAGMA mmap_size = 0",
        nullptr, nullptr, nullptr);
    sqlite3_exec(books.database(),
                 reading == Reading::LargeCache ? "PRAGMA cache_size = -524288"
                                                : "PRAGMA cache_size = -2000",
                 nullptr, nullptr, nullptr);
    const auto& model = miravel::miravelObjectModel();
    const Predicate predicate = *Predicate::parse(format, {term});
    std::int64_t matches = 0;
    for (auto _ : state) {
        auto where = predicate.toSql(model, *model.entity("Recipe"), "t");
        const std::string sql = "SELECT \"t\".\"id\" FROM \"Recipe\" AS \"t\" WHERE " + where->sql;
        sqlite3_stmt* statement = nullptr;
        check(
            sqlite3_prepare_v2(books.database(), sql.c_str(), -1, &statement, nullptr) == SQLITE_OK,
            "prepare", books.database());
        check(where->bindTo(statement).has_value(), "bind", books.database());
        matches = 0;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            ++matches;
        }
        sqlite3_finalize(statement);
    }
    state.counters["matches"] = static_cast<double>(matches);
    state.counters["bytesPerRecipe"] = static_cast<double>(books.averageBytes());
}

void searchInMemory(benchmark::State& state, const char* format, const char* term) {
    const Library& books = library();
    const Predicate predicate = *Predicate::parse(format, {term});
    std::int64_t matches = 0;
    for (auto _ : state) {
        matches = 0;
        for (const RecipeObject& object : books.objects()) {
            matches += predicate.evaluate(object) ? 1 : 0;
        }
    }
    state.counters["matches"] = static_cast<double>(matches);
}

}  // namespace

using enum Reading;

// What reading every row costs before any predicate work: the floor under the others.
BENCHMARK_CAPTURE(searchInStore, scanOnly, "name == %@", "creme", Default)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(searchInStore, nameCreme, "name contains[cd] %@", "creme", Default)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(searchInStore, scanOnlyMemoryMapped, "name == %@", "creme", MemoryMapped)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(searchInStore, nameCremeMemoryMapped, "name contains[cd] %@", "creme",
                  MemoryMapped)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(searchInStore, nameCremeLargeCache, "name contains[cd] %@", "creme", LargeCache)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(searchInStore, nameAccentedTerm, "name contains[cd] %@", "brûlée", MemoryMapped)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(searchInStore, ingredientsCream, "ingredients contains[cd] %@", "cream",
                  MemoryMapped)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(searchInMemory, nameCreme, "name contains[cd] %@", "creme")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(searchInMemory, ingredientsCream, "ingredients contains[cd] %@", "cream")
    ->Unit(benchmark::kMillisecond);
