#include "lib/StringTable.h"

namespace miravel {

std::string tr(std::string_view english) {
    // Only the English table exists so far; translated tables are looked up here.
    return std::string(english);
}

}  // namespace miravel
