#pragma once

#include <string>
#include <string_view>

namespace miravel {

// The text shown to the user for an English text of the system, in the user's language when
// a translation exists. The English texts are the keys.
std::string tr(std::string_view english);

}  // namespace miravel
