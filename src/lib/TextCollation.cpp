#include "lib/TextCollation.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>
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

void appendLocalizedSortKey(std::string_view text, std::string& keys) {
    const icu::Collator* collator = sharedCollator();
    if (collator == nullptr) {
        keys += text;
        return;
    }
    // Most names are short ASCII: widened on the stack, they skip ICU's UTF-8 conversion.
    std::array<char16_t, 128> ascii;
    const bool isShortAscii =
        text.size() <= ascii.size() &&
        std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
    icu::UnicodeString unicode;
    if (isShortAscii) {
        std::copy(text.begin(), text.end(), ascii.begin());
    } else {
        unicode = icu::UnicodeString::fromUTF8(
            icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    }
    const std::size_t start = keys.size();
    auto write = [&](std::size_t capacity) {
        keys.resize(start + capacity);
        auto* into = reinterpret_cast<uint8_t*>(keys.data() + start);
        const auto room = static_cast<int32_t>(capacity);
        return isShortAscii ? collator->getSortKey(ascii.data(), static_cast<int32_t>(text.size()),
                                                   into, room)
                            : collator->getSortKey(unicode, into, room);
    };
    int32_t length = write(text.size() * 2 + 16);
    if (length > static_cast<int32_t>(keys.size() - start)) {
        length = write(static_cast<std::size_t>(length));
    }
    keys.resize(start + (length > 0 ? static_cast<std::size_t>(length - 1) : 0));  // no final 0
}

std::string localizedSortKey(std::string_view text) {
    std::string key;
    appendLocalizedSortKey(text, key);
    return key;
}

}  // namespace miravel
