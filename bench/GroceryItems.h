#pragma once

// A grocery list as a week of cooking leaves it: items from recipes that share many of their
// ingredients, some measured differently or sized (which a merge must refuse), some bought.

#include <iterator>
#include <random>
#include <string>

#include "model/GroceryListItem.h"
#include "model/SyncedObject.h"
#include "store/ManagedObjectContext.h"

namespace miravel::bench {

// An ingredient as recipes ask for it: the unit it is measured in (none for counted things
// and for seasonings) and how it is sometimes prepared.
struct Asked {
    const char* name;
    const char* unit;
    const char* preparation;
};

inline const Asked kPantry[] = {
    {"all-purpose flour", "cups", ", sifted"},
    {"sugar", "cups", ""},
    {"butter", "tablespoons", ", melted"},
    {"milk", "cups", ""},
    {"eggs", "", ", beaten"},
    {"onion", "", ", chopped"},
    {"garlic", "cloves", ", minced"},
    {"olive oil", "tablespoons", ""},
    {"salt", "", " to taste"},
    {"black pepper", "teaspoons", ""},
    {"chicken stock", "cups", ""},
    {"tomatoes", "", ", diced"},
    {"carrots", "", ", peeled"},
    {"lemon juice", "tablespoons", ""},
    {"baking powder", "teaspoons", ""},
    {"vanilla extract", "teaspoons", ""},
    {"heavy cream", "cups", ""},
    {"parmesan cheese", "cups", ", grated"},
    {"rice", "cups", ""},
    {"ground beef", "pounds", ""},
    {"celery", "stalks", ", sliced"},
    {"potatoes", "pounds", ", cubed"},
    {"brown sugar", "cups", ", packed"},
    {"cinnamon", "teaspoons", ""},
    {"fresh parsley", "tablespoons", ", chopped"},
    {"soy sauce", "tablespoons", ""},
    {"honey", "tablespoons", ""},
    {"mushrooms", "ounces", ", sliced"},
    {"spinach", "cups", ""},
    {"cheddar cheese", "cups", ", shredded"},
    {"red bell pepper", "", ", diced"},
    {"ginger", "teaspoons", ", grated"},
    {"cumin", "teaspoons", ""},
    {"paprika", "teaspoons", ""},
    {"oregano", "teaspoons", ", dried"},
    {"chicken breasts", "pounds", ""},
    {"bacon", "slices", ""},
    {"walnuts", "cups", ", toasted"},
    {"yogurt", "cups", ""},
    {"limes", "", ""},
};
inline const char* const kAmounts[] = {"1", "2", "1/2", "3/4", "1 1/2", "3", "1/4"};

// Inserts `count` items, 25 per recipe ("Recipe 0", "Recipe 1", ...); the caller saves.
inline void fillGroceryList(ManagedObjectContext& context, int count) {
    std::mt19937 random(8);
    constexpr int kPerRecipe = 25;
    for (int i = 0; i < count; ++i) {
        const Asked& asked = kPantry[random() % std::size(kPantry)];
        std::string line;
        if (std::string(asked.name) != "salt") {
            line = std::string(kAmounts[random() % std::size(kAmounts)]) + " ";
        }
        // Some lines measure differently or name a size, which a merge must refuse.
        if (*asked.unit != '\0') {
            const char* unit = asked.unit;
            if (random() % 6 == 0) {
                unit = std::string(unit) == "cups" ? "tablespoons" : "ounces";
            }
            line += std::string(unit) + " ";
        } else if (random() % 4 == 0) {
            line += "large ";
        }
        line += std::string(asked.name) + (random() % 3 == 0 ? asked.preparation : "");
        auto item = context.insert<GroceryListItem>();
        item->setRecipeName("Recipe " + std::to_string(i / kPerRecipe));
        item->setNameAndUpdateAisle(line);
        item->setOrderFlag(i % kPerRecipe);
        item->setPurchased(random() % 5 == 0);
        item->setStatus(kStatusUnmodified);
    }
}

}  // namespace miravel::bench
