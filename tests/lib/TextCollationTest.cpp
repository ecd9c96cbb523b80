#include "lib/TextCollation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace miravel {
namespace {

int sign(int value) {
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

// Names sort the same whether collated pair by pair or through their keys, and case never
// decides before the letters do (the tests run under LANG=C, where ICU's default order
// would put "Zebra" before "apple").
TEST(TextCollation, KeysOrderAsTheCollatorAndIgnoreCase) {
    const std::vector<std::string> names = {
        "apple", "Apple", "Äpfel", "banana", "Zebra", "zebra", "", "10 cakes", "2 pies",
        "Crème brûlée", "creme brulee", "\xFF\xFE bad",
        // ASCII names are widened on the stack up to 128 characters, longer ones are not.
        std::string(128, 'b'), std::string(129, 'b'), std::string(127, 'B') + "a", "a-b", "a b"};
    for (const std::string& a : names) {
        for (const std::string& b : names) {
            EXPECT_EQ(sign(localizedCaseInsensitiveCompare(a, b)),
                      sign(localizedSortKey(a).compare(localizedSortKey(b))))
                << a << " / " << b;
        }
    }
    // Keys appended to one buffer are the same bytes.
    std::string keys = "prefix";
    appendLocalizedSortKey("Crème", keys);
    appendLocalizedSortKey(std::string(300, 'x'), keys);
    EXPECT_EQ(keys, "prefix" + localizedSortKey("Crème") + localizedSortKey(std::string(300, 'x')));
    EXPECT_LT(localizedCaseInsensitiveCompare("apple", "Zebra"), 0);
    EXPECT_EQ(localizedCaseInsensitiveCompare("apple", "Apple"), 0);
    EXPECT_LT(localizedCaseInsensitiveCompare("Apfel", "Äpfel"), 0);  // accents count
}

}  // namespace
}  // namespace miravel
