#pragma once

#include "server/MiravelServer.h"

namespace miravel::server {

// The /recipe/ endpoint's parser: the program's own page parser, the same the desktop's
// clipper and `miravel clip` use, so a page gives the same recipe wherever it is parsed.
RecipePageHook recipePageParser();

}  // namespace miravel::server
