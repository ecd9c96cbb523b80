// Property lists arrive inside imported recipe files: any bytes must give a value or an
// error, never a crash or a hang.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "lib/JsonWriter.h"
#include "lib/PropertyList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto value =
        miravel::readPropertyList(std::string_view(reinterpret_cast<const char*>(data), size));
    if (value) {
        (void)miravel::JsonWriter::write(*value);
    }
    return 0;
}
