// Time texts come from users, imports and web pages, so the parser must survive any bytes.
// Input: two texts separated by the first NUL byte (the second is empty when there is none).
// Checked: counts are never negative, and the comparison is a consistent order that agrees
// with the counts it is built from.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "ingredients/TimeParser.h"

using namespace miravel;

namespace {

[[noreturn]] void fault(const char* what, std::string_view text) {
    std::fprintf(stderr, "%s\n%.*s\n", what, static_cast<int>(text.size()), text.data());
    std::abort();
}

std::int64_t minutesOf(std::string_view text) {
    const std::int32_t hours = TimeParser::parseHours(text);
    const std::int32_t minutes = TimeParser::parseMinutes(text);
    if (hours < 0 || minutes < 0) {
        fault("negative count", text);
    }
    // Without any digit byte and without any non-ASCII byte (other scripts' digits) there is
    // no number to find.
    bool mayHoldDigits = false;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        mayHoldDigits = mayHoldDigits || (byte >= '0' && byte <= '9') || byte >= 0x80;
    }
    if (!mayHoldDigits && (hours != 0 || minutes != 0)) {
        fault("count without digits", text);
    }
    const std::int64_t total = TimeParser::totalMinutes(text);
    if (total < 0 || (!mayHoldDigits && total != 0)) {
        fault("total without digits", text);
    }
    return total;
}

int order(std::int64_t a, std::int64_t b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string_view first = input.substr(0, split);
    const std::string_view second =
        split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

    const int forward = cookTimeCompare(first, second);
    if (forward != -cookTimeCompare(second, first)) {
        fault("comparison is not antisymmetric", input);
    }
    if (cookTimeCompare(first, first) != 0) {
        fault("text differs from itself", first);
    }
    if (forward != order(minutesOf(first), minutesOf(second))) {
        fault("comparison disagrees with the counts", input);
    }
    return 0;
}
