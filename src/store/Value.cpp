#include "store/Value.h"

#include <algorithm>
#include <cmath>

namespace miravel {

double Value::numeric() const {
    if (isBoolean()) {
        return asBoolean() ? 1.0 : 0.0;
    }
    if (isInteger()) {
        return static_cast<double>(asInteger());
    }
    if (isDouble()) {
        return std::get<double>(m_storage);
    }
    if (isDate()) {
        return secondsOf(asDate());
    }
    return 0.0;
}

double Value::secondsOf(Timestamp moment) {
    return std::chrono::duration<double>(moment.time_since_epoch()).count();
}

Timestamp Value::momentOf(double seconds) {
    // A stored number may be anything another program wrote; converting one out of range
    // is undefined, so it is clamped to the earliest or latest moment there is.
    constexpr double kMostSeconds =
        static_cast<double>(Timestamp::duration::max().count() / 1000000 - 1);
    if (std::isnan(seconds)) {
        return Timestamp{};
    }
    return Timestamp(std::chrono::duration_cast<Timestamp::duration>(
        std::chrono::duration<double>(std::clamp(seconds, -kMostSeconds, kMostSeconds))));
}

bool Value::operator==(const Value& other) const {
    // Numbers compare by value whatever their kind, as they do in queries.
    if (isInteger() && other.isInteger()) {
        return asInteger() == other.asInteger();
    }
    if (isNumber() && other.isNumber()) {
        return numeric() == other.numeric();
    }
    return m_storage == other.m_storage;
}

}  // namespace miravel
