#include "store/Value.h"

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
    return Timestamp(
        std::chrono::duration_cast<Timestamp::duration>(std::chrono::duration<double>(seconds)));
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
