#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "browser/PageRecipe.h"
#include "lib/Error.h"
#include "lib/JsonValue.h"

namespace miravel {

// JSON as pages really emit it in their structured data, read leniently: trailing commas,
// raw line breaks and tabs inside strings, unknown escapes ("\'"), comments and the HTML
// comment or CDATA wrappers around a block are accepted; anything else must be JSON.
[[nodiscard]] Result<JsonValue> parseLenientJson(std::string_view text);

// The schema.org Recipe objects in a JSON-LD document, in document order: at the top, in
// arrays, in "@graph", as "mainEntity" or any other member of another object.
std::vector<const JsonValue*> findSchemaRecipes(const JsonValue& document);

// Whether `value` is an object whose "@type" (text or array) names `type`, with or without
// a schema.org prefix.
bool hasSchemaType(const JsonValue& value, std::string_view type);

// The steps of a schema.org recipeInstructions value: texts, HowToStep and HowToSection
// objects or arrays of them; a section's name is a line of its own before its steps.
std::vector<std::string> schemaInstructionLines(const JsonValue& instructions);

// A schema.org Recipe object as a page recipe. Relative image addresses resolve against
// `pageUrl`.
PageRecipe recipeFromSchema(const JsonValue& recipe, std::string_view pageUrl);

}  // namespace miravel
