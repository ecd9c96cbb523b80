#include "lib/TextCollation.h"

#include <unicode/coll.h>
#include <unicode/locid.h>

#include <memory>

namespace miravel {

namespace {

const icu::Collator* sharedCollator() {
    // Created once; ICU collators are safe to use from several threads for comparing.
    static const icu::Collator* collator = [] {
        UErrorCode status = U_ZERO_ERROR;
        icu::Collator* created = icu::Collator::createInstance(icu::Locale::getDefault(), status);
        if (U_FAILURE(status) || created == nullptr) {
            status = U_ZERO_ERROR;
            created = icu::Collator::createInstance(icu::Locale::getRoot(), status);
        }
        if (created != nullptr) {
            created->setStrength(icu::Collator::SECONDARY);
        }
        return created;
    }();
    return collator;
}

}  // namespace

int localizedCaseInsensitiveCompare(std::string_view a, std::string_view b) {
    const icu::Collator* collator = sharedCollator();
    if (collator == nullptr) {
        return a.compare(b);
    }
    UErrorCode status = U_ZERO_ERROR;
    UCollationResult result =
        collator->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                              icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
    if (U_FAILURE(status)) {
        return a.compare(b);
    }
    return result;
}

}  // namespace miravel
