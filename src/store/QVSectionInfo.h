#pragma once

#include <memory>
#include <string>
#include <vector>

namespace miravel {

class ManagedObject;

// A named group of rows, as the grocery list groups its items by aisle or by recipe.
struct QVSectionInfo {
    std::string name;
    std::vector<std::shared_ptr<ManagedObject>> objects;

    std::size_t numberOfObjects() const { return objects.size(); }
    // Sections order by plain text comparison of their names: negative, zero or positive.
    int compare(const QVSectionInfo& other) const {
        int order = name.compare(other.name);
        return order < 0 ? -1 : (order > 0 ? 1 : 0);
    }
};

}  // namespace miravel
