#include "lib/TextCollation.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <memory>

namespace miravel {

namespace {

const icu::Collator* sharedCollator() {
    // Created once; ICU collators are safe to use from several threads for comparing.
    static const icu::Collator* collator = [] {
        UErrorCode status = U_ZERO_ERROR;
        // Under LANG=C ICU's default is en_US_POSIX, whose order puts every capital before
        // every small letter ("Zebra" before "apple"); the root order is the neutral one.
        icu::Locale locale = icu::Locale::getDefault();
        if (std::string_view(locale.getVariant()) == "POSIX") {
            locale = icu::Locale::getRoot();
        }
        icu::Collator* created = icu::Collator::createInstance(locale, status);
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

std::string localizedSortKey(std::string_view text) {
    const icu::Collator* collator = sharedCollator();
    if (collator == nullptr) {
        return std::string(text);
    }
    const icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    std::string key(64, '\0');
    int32_t length = collator->getSortKey(unicode, reinterpret_cast<uint8_t*>(key.data()),
                                          static_cast<int32_t>(key.size()));
    if (length > static_cast<int32_t>(key.size())) {
        key.resize(static_cast<std::size_t>(length));
        length = collator->getSortKey(unicode, reinterpret_cast<uint8_t*>(key.data()), length);
    }
    key.resize(length > 0 ? static_cast<std::size_t>(length - 1) : 0);  // without the final 0
    return key;
}

}  // namespace miravel
