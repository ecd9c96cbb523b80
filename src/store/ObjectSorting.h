#pragma once

#include <memory>
#include <vector>

#include "store/FetchRequest.h"
#include "store/ManagedObject.h"

namespace miravel {

// Orders objects by the sort descriptors, equal ones by row. A list ordered first by a name in
// the user's language makes each name's collation key once and compares keys as bytes, instead
// of collating both names at every comparison.
void sortObjects(std::vector<std::shared_ptr<ManagedObject>>& objects,
                 const std::vector<SortDescriptor>& keys);

}  // namespace miravel
