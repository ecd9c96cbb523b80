#include "store/FetchRequest.h"

#include "lib/TextCollation.h"
#include "store/ManagedObject.h"

namespace miravel {

int compareValues(const Value& a, const Value& b, SortDescriptor::Comparison comparison) {
    if (a.isNull() || b.isNull()) {
        return a.isNull() == b.isNull() ? 0 : (a.isNull() ? -1 : 1);
    }
    if (a.isText() && b.isText()) {
        if (comparison == SortDescriptor::Comparison::LocalizedCaseInsensitive) {
            return localizedCaseInsensitiveCompare(a.asText(), b.asText());
        }
        int order = a.asText().compare(b.asText());
        return order < 0 ? -1 : (order > 0 ? 1 : 0);
    }
    if (a.isInteger() && b.isInteger()) {
        return a.asInteger() < b.asInteger() ? -1 : (a.asInteger() > b.asInteger() ? 1 : 0);
    }
    if ((a.isNumber() || a.isDate()) && (b.isNumber() || b.isDate())) {
        double x = a.numeric();
        double y = b.numeric();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    if (a.isObject() && b.isObject()) {
        return a.asObject().row < b.asObject().row ? -1 : (a.asObject().row > b.asObject().row);
    }
    // Values of different kinds: a stable order by kind, as the store would give.
    auto kindA = a.storage().index();
    auto kindB = b.storage().index();
    return kindA < kindB ? -1 : (kindA > kindB ? 1 : 0);
}

int SortDescriptor::compare(const ManagedObject& a, const ManagedObject& b) const {
    Value left = a.valueForKeyPath(key);
    Value right = b.valueForKeyPath(key);
    int order = comparator ? comparator(left, right) : compareValues(left, right, comparison);
    return ascending ? order : -order;
}

int compareBySortDescriptors(const std::vector<SortDescriptor>& keys, const ManagedObject& a,
                             const ManagedObject& b) {
    for (const auto& key : keys) {
        if (int order = key.compare(a, b); order != 0) {
            return order;
        }
    }
    return 0;
}

}  // namespace miravel
