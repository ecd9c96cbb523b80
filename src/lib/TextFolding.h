#pragma once

#include <string>
#include <string_view>

namespace miravel {

// Loose text matching for searches: "creme" finds "Crème", "CRÈME" and "crème".
//
// - foldCase applies Unicode full case folding (so "Straße" and "STRASSE" fold alike).
// - foldDiacritics decomposes (NFD), drops the nonspacing marks and recomposes (NFC), so
//   "brûlée" becomes "brulee" while letters without a decomposition ("ø", "ł") stay.
// - foldCaseAndDiacritics does both, case first.
//
// Each result is valid UTF-8: an invalid byte sequence in the input becomes U+FFFD. Text made
// of ASCII and Latin letters (nearly every recipe) skips ICU, because searches fold every row
// they look at.
std::string foldCase(std::string_view utf8);
std::string foldDiacritics(std::string_view utf8);
std::string foldCaseAndDiacritics(std::string_view utf8);

// Unicode lower case (ICU's root locale), for names compared as case-insensitive file systems
// compare them.
std::string lowerCased(std::string_view utf8);

}  // namespace miravel
