#pragma once

#include <memory>

#include "ingredients/IngredientParser.h"

namespace miravel::testing {

// Word lists small enough to reason about by hand; the shipped lists are measured against
// labelled lines separately.
inline constexpr const char* kTestWordLists = R"yaml(
adjectives: [frozen, fresh, finely chopped, freshly ground]
colors: [red, green]
conjunctions: [and, or, "&"]
fractions: ["½", "¼", "¾", "⅓", "⅔", "⅛"]
numerics: [one, two, half, a, an, dozen]
phrases: [salt and pepper]
preparations: [canned, chopped, drained, minced]
prepositions: [of, with]
punctuation: ["(", ")", ".", "/", "⁄", ",", ";", "&"]
ranges: [to]
terminators: [",", ";", to taste]
sizes: [large, small]
units:
  - [cup, cups]
  - [can, cans]
  - [sprig, sprigs]
  - variations:
      - [ounce, ounces]
      - [oz, oz]
  - [tablespoon, tablespoons]
  - [clove, cloves]
)yaml";

inline std::shared_ptr<const IngredientReferenceStore> testReferenceStore() {
    return std::make_shared<const IngredientReferenceStore>(
        std::vector<IngredientRow>{
            {"pea", "peas", "Produce"},
            {"bean", "beans", "Pasta, Rice and Beans"},
            {"tomato", "tomatoes", "Produce"},
            {"salt", std::nullopt, "Spices and Seasonings"},
            {"salt and pepper", std::nullopt, "Spices and Seasonings"},
            {"flour", std::nullopt, "Baking Goods"},
            {"parsley", std::nullopt, "Produce"},
            {"garlic", std::nullopt, "Produce"},
            {"ham", std::nullopt, "Meat"},
            {"spaghetti", std::nullopt, "Pasta, Rice and Beans"},
            // One word in two aisles: the query orders them by aisle, last aisle first.
            {"corn", std::nullopt, "Canned and Jar Goods"},
            {"corn", "corns", "Produce"},
        },
        std::vector<UnitRow>{
            {"cup", "cups", "cup"},
            {"c", std::nullopt, "cup"},
            {"oz", std::nullopt, "ounce"},
            {"ounce", "ounces", "ounce"},
            {"fl oz", std::nullopt, "fluid ounce"},
        });
}

inline const IngredientParser& testParser() {
    static const IngredientParser parser(*WordLists::fromYAML(kTestWordLists),
                                         testReferenceStore());
    return parser;
}

}  // namespace miravel::testing
