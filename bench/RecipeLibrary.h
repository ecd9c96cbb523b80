#pragma once

// Libraries of realistic recipes for the benchmarks, made once per size per run in a scratch
// folder that is removed when the program ends.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>

#include "model/MiravelObjectModel.h"
#include "model/Recipe.h"
#include "store/ManagedObjectContext.h"

namespace miravel::bench {

// Every folder the benchmarks make lives below one, removed when the program ends.
struct ScratchRoot {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("miravel-bench-" + std::to_string(::getpid()));
    ~ScratchRoot() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

inline double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Wall-clock seconds of a shell command that must succeed (the floors beside our figures).
inline double timeCommand(const std::string& command) {
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
    return secondsSince(start);
}

inline std::filesystem::path scratchFolder(const std::string& name) {
    static ScratchRoot root;
    auto folder = root.path / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

inline const char* const kWords[] = {"butter", "flour", "sugar",   "onion", "garlic", "tomato",
                                     "basil",  "crème", "brûlée",  "salt",  "pepper", "olive",
                                     "oil",    "lemon", "chicken", "stock", "simmer", "whisk",
                                     "fold",   "bake",  "roast"};

// About 2 KB of recipe-like text per recipe, different for each.
struct RecipeText {
    std::string name, ingredients, directions, notes;
};

inline RecipeText makeRecipe(std::mt19937& random, int index) {
    auto word = [&] { return std::string(kWords[random() % std::size(kWords)]); };
    RecipeText text;
    text.name = word() + " " + word() + " " + std::to_string(index);
    for (int line = 0; line < 12; ++line) {
        text.ingredients +=
            std::to_string(1 + random() % 4) + " 1/2 cups " + word() + ", " + word() + "ed\n";
    }
    for (int sentence = 0; sentence < 20; ++sentence) {
        text.directions +=
            "Gently " + word() + " the " + word() + " with the " + word() + " until golden. ";
    }
    for (int sentence = 0; sentence < 5; ++sentence) {
        text.notes += "Serve with " + word() + ". ";
    }
    return text;
}

inline void fillRecipe(Recipe& recipe, const RecipeText& text) {
    recipe.setName(text.name);
    recipe.setIngredients(text.ingredients);
    recipe.setDirections(text.directions);
    recipe.setNotes(text.notes);
    recipe.setServings("4");
    recipe.setPrepTime("20 minutes");
    recipe.setCookTime("1 hour");
    recipe.setSource("Family cookbook");
    recipe.setStatus(kStatusModified);
}

inline std::shared_ptr<PersistentStoreCoordinator> openStore(const std::filesystem::path& folder) {
    return *PersistentStoreCoordinator::open(folder / "Miravel.sqlite", miravelObjectModel());
}

// A library of `count` recipes, made once per size and kept for the benchmarks that read it.
inline std::filesystem::path libraryOf(int count) {
    static std::map<int, std::filesystem::path> made;
    if (auto it = made.find(count); it != made.end()) {
        return it->second;
    }
    auto folder = scratchFolder("library-" + std::to_string(count));
    {
        ManagedObjectContext context(openStore(folder), MergePolicy::StoreWins);
        std::mt19937 random(42);
        for (int i = 0; i < count; ++i) {
            fillRecipe(*context.insert<Recipe>(), makeRecipe(random, i));
        }
        if (!context.save()) {
            std::abort();
        }
    }
    made[count] = folder;
    return folder;
}

}  // namespace miravel::bench
