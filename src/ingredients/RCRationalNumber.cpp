#include "ingredients/RCRationalNumber.h"

#include "lib/Log.h"

#include <cmath>
#include <limits>

namespace miravel {
namespace {

constexpr std::int64_t kMin32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kMax32 = std::numeric_limits<std::int32_t>::max();

// Euclid on magnitudes. Inputs are bounded by 2^63 - 1 in magnitude (see fromWide's callers),
// so the unsigned conversion of a negative value cannot lose anything.
std::uint64_t gcdMagnitude(std::int64_t a, std::int64_t b) {
    std::uint64_t x = a < 0 ? 0 - static_cast<std::uint64_t>(a) : static_cast<std::uint64_t>(a);
    std::uint64_t y = b < 0 ? 0 - static_cast<std::uint64_t>(b) : static_cast<std::uint64_t>(b);
    while (y != 0) {
        const std::uint64_t r = x % y;
        x = y;
        y = r;
    }
    return x;
}

bool fits32(std::int64_t value) {
    return value >= kMin32 && value <= kMax32;
}

}  // namespace

RCRationalNumber::RCRationalNumber() {
    logLine("initialized to unity");
}

RCRationalNumber::RCRationalNumber(std::int32_t integer) : m_numerator(integer) {}

RCRationalNumber::RCRationalNumber(std::int32_t numerator, std::int32_t denominator, bool)
    : m_numerator(numerator), m_denominator(denominator) {}

std::optional<RCRationalNumber> RCRationalNumber::fromWide(std::int64_t numerator,
                                                           std::int64_t denominator) {
    if (denominator == 0) {
        logLine("denominator is zero");
        return std::nullopt;
    }
    if (numerator == 0) {
        return RCRationalNumber(0, 1, true);
    }
    // Every caller stays within |value| < 2^63, so negating here cannot overflow.
    if (denominator < 0) {
        numerator = -numerator;
        denominator = -denominator;
    }
    const auto g = static_cast<std::int64_t>(gcdMagnitude(numerator, denominator));
    numerator /= g;
    denominator /= g;
    if (!fits32(numerator) || !fits32(denominator)) {
        return std::nullopt;
    }
    return RCRationalNumber(static_cast<std::int32_t>(numerator),
                            static_cast<std::int32_t>(denominator), true);
}

std::optional<RCRationalNumber> RCRationalNumber::valueWithNumerator(std::int32_t numerator,
                                                                     std::int32_t denominator) {
    return fromWide(numerator, denominator);
}

std::optional<RCRationalNumber> RCRationalNumber::valueWithWholeNumber(std::int32_t whole,
                                                                       std::int32_t numerator,
                                                                       std::int32_t denominator) {
    // |w*d + n| <= 2^62 + 2^31: fits in 64 bits.
    return fromWide(static_cast<std::int64_t>(whole) * denominator + numerator, denominator);
}

RCRationalNumber RCRationalNumber::valueWithInteger(std::int32_t integer) {
    return RCRationalNumber(integer);
}

std::optional<RCRationalNumber> RCRationalNumber::valueWithDouble(double value, int precision) {
    const int exponent = precision <= 9 ? precision : 9;
    const auto scale = static_cast<std::int64_t>(std::pow(10.0, exponent));
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    double scaled = value * std::pow(10.0, exponent);
    // Decimal fractions are rarely exact in binary: 0.57 * 10^4 is 5699.999999999999.
    // Truncating that would lose the last digit the user typed, so a product within rounding
    // noise of a whole number is taken as that number; everything else is truncated.
    const double nearest = std::nearbyint(scaled);
    if (std::fabs(scaled - nearest) <=
        64 * std::numeric_limits<double>::epsilon() * std::fabs(scaled)) {
        scaled = nearest;
    }
    scaled = std::trunc(scaled);
    if (!(scaled >= static_cast<double>(kMin32) && scaled <= static_cast<double>(kMax32))) {
        return std::nullopt;
    }
    return fromWide(static_cast<std::int64_t>(scaled), scale);
}

RCRationalNumber RCRationalNumber::valueWithRational(const RCRationalNumber& other) {
    return other;
}

std::optional<RCRationalNumber> RCRationalNumber::multiply(const RCRationalNumber& other) const {
    // Products of two 32-bit values stay below 2^62 in magnitude.
    return fromWide(static_cast<std::int64_t>(m_numerator) * other.m_numerator,
                    static_cast<std::int64_t>(m_denominator) * other.m_denominator);
}

std::optional<RCRationalNumber> RCRationalNumber::divide(const RCRationalNumber& other) const {
    if (other.m_numerator == 0) {
        logLine("denominator is zero");
        return std::nullopt;
    }
    // a/b / (c/d) = (a*d)/(b*c) directly: going through reciprocal() would refuse a divisor
    // with numerator -2^31 whose quotient is nonetheless representable.
    return fromWide(static_cast<std::int64_t>(m_numerator) * other.m_denominator,
                    static_cast<std::int64_t>(m_denominator) * other.m_numerator);
}

std::optional<RCRationalNumber> RCRationalNumber::add(const RCRationalNumber& other) const {
    // Over the least common multiple l = d * (b / g) < 2^62. Each term a * (l / b) has factors
    // below 2^31 in magnitude, so the sum stays below 2^63.
    const std::int64_t b = m_denominator;
    const std::int64_t d = other.m_denominator;
    const auto g = static_cast<std::int64_t>(gcdMagnitude(b, d));
    const std::int64_t l = d * (b / g);
    const std::int64_t n = m_numerator * (l / b) + other.m_numerator * (l / d);
    return fromWide(n, l);
}

std::optional<RCRationalNumber> RCRationalNumber::sub(const RCRationalNumber& other) const {
    // Subtracting directly rather than adding neg(): the negation of -2^31 has no 32-bit
    // form even when the difference does.
    const std::int64_t b = m_denominator;
    const std::int64_t d = other.m_denominator;
    const auto g = static_cast<std::int64_t>(gcdMagnitude(b, d));
    const std::int64_t l = d * (b / g);
    const std::int64_t n = m_numerator * (l / b) - other.m_numerator * (l / d);
    return fromWide(n, l);
}

std::optional<RCRationalNumber> RCRationalNumber::neg() const {
    return fromWide(-static_cast<std::int64_t>(m_numerator), m_denominator);
}

std::optional<RCRationalNumber> RCRationalNumber::abs() const {
    return fromWide(m_numerator < 0 ? -static_cast<std::int64_t>(m_numerator) : m_numerator,
                    m_denominator);
}

std::optional<RCRationalNumber> RCRationalNumber::reciprocal() const {
    return fromWide(m_denominator, m_numerator);
}

double RCRationalNumber::number() const {
    return static_cast<double>(m_numerator) / static_cast<double>(m_denominator);
}

std::int32_t RCRationalNumber::integer() const {
    return m_numerator / m_denominator;
}

int RCRationalNumber::sign() const {
    return m_numerator < 0 ? -1 : 1;
}

bool RCRationalNumber::isNegative() const {
    return m_numerator < 0;
}

bool RCRationalNumber::isEqualToOne() const {
    return m_numerator == m_denominator;
}

int RCRationalNumber::compare(const RCRationalNumber& other) const {
    // Cross products of positive denominators keep the order and fit in 64 bits.
    const std::int64_t left = static_cast<std::int64_t>(m_numerator) * other.m_denominator;
    const std::int64_t right = static_cast<std::int64_t>(other.m_numerator) * m_denominator;
    return left < right ? -1 : (left > right ? 1 : 0);
}

std::string RCRationalNumber::description() const {
    const char* prefix = m_numerator < 0 ? "-" : (m_withSign ? "+" : "");
    const std::int64_t magnitude =
        m_numerator < 0 ? -static_cast<std::int64_t>(m_numerator) : m_numerator;
    return fmt::format("{}{}/{}", prefix, magnitude, m_denominator);
}

std::string RCRationalNumber::mixedNumber() const {
    const std::int32_t whole = integer();
    if (whole == 0) {
        return fmt::format("{}/{}", m_numerator, m_denominator);
    }
    const std::int32_t remainder = m_numerator % m_denominator;
    if (remainder == 0) {
        return fmt::format("{}", whole);
    }
    // Quotient and remainder share the sign; printing it once, in front, avoids "-1 -1/2".
    const std::int64_t wholeMagnitude = whole < 0 ? -static_cast<std::int64_t>(whole) : whole;
    const std::int32_t remainderMagnitude = remainder < 0 ? -remainder : remainder;
    return fmt::format("{}{} {}/{}", whole < 0 ? "-" : "", wholeMagnitude, remainderMagnitude,
                       m_denominator);
}

}  // namespace miravel
