#include "server/RecipePageParsing.h"

#include "browser/PageRecipe.h"
#include "browser/RecipePageParser.h"

namespace miravel::server {

RecipePageHook recipePageParser() {
    return [](std::string_view html, std::string_view url) -> ApiResult<JsonObject> {
        auto recipe = RecipePageParser::parse(html, url);
        if (!recipe) {
            // "No recipe found on this page." is the one refusal; the client shows it as is.
            return apiError(ApiErrorKind::ParseFailed, recipe.error().description);
        }
        return recipeDictionary(*recipe, url);
    };
}

}  // namespace miravel::server
