// Property lists arrive inside imported recipe files: any bytes must give a value or an
// error, never a crash or a hang.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "lib/JsonWriter.h"
#include "lib/PropertyList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    auto whole = miravel::readPropertyList(input);
    if (whole) {
        (void)miravel::JsonWriter::write(*whole);
    }
    // Element by element, the importers' way: the same elements as the whole value's, and a
    // failure exactly where the whole value fails.
    std::vector<miravel::JsonValue> elements;
    auto isArray = miravel::readPropertyListArray(
        input, [&](miravel::JsonValue element) -> miravel::Result<void> {
            elements.push_back(std::move(element));
            return {};
        });
    if (whole.has_value() != isArray.has_value()) {
        std::abort();
    }
    if (whole && whole->isArray() != *isArray) {
        std::abort();
    }
    if (whole && whole->isArray() && !(miravel::JsonValue(elements) == *whole)) {
        std::abort();
    }
    // The older text syntax, read by our own code, of ingredient records inside a string.
    if (auto value = miravel::readTextPropertyList(input)) {
        (void)miravel::JsonWriter::write(*value);
    }
    return 0;
}
