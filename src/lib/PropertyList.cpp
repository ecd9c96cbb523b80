#include "lib/PropertyList.h"

#include <expat.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "lib/Crypto.h"
#include "lib/DateText.h"

namespace miravel {

namespace {

constexpr int kMaxDepth = 256;
// Property-list dates count seconds from 2001-01-01 00:00:00 UTC.
constexpr std::int64_t kPropertyListEpoch = 978307200;
// Some 300,000 years either way: beyond any date, and well inside what a time_t holds.
constexpr double kMostDateSeconds = 1e13;

std::unexpected<Error> notAPropertyList(std::string reason) {
    return makeError(kPropertyListErrorDomain, PropertyListErrorCode::NotAPropertyList,
                     "The file is not a property list.", std::move(reason));
}

std::unexpected<Error> tooDeep() {
    return makeError(kPropertyListErrorDomain, PropertyListErrorCode::TooDeep,
                     "The property list is nested too deeply.");
}

// A date as the rest of the system shows dates, from seconds since the property-list epoch.
std::optional<JsonValue> dateValue(double seconds) {
    if (!std::isfinite(seconds) || std::fabs(seconds) > kMostDateSeconds) {
        return std::nullopt;
    }
    const auto whole = static_cast<std::int64_t>(std::floor(seconds));
    return JsonValue(
        formatDateText(momentOfTimeT(static_cast<std::time_t>(kPropertyListEpoch + whole))));
}

void appendUtf8(std::string& text, std::uint32_t code) {
    if (code < 0x80) {
        text.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        text.push_back(static_cast<char>(0xC0 | (code >> 6)));
        text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        text.push_back(static_cast<char>(0xE0 | (code >> 12)));
        text.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        text.push_back(static_cast<char>(0xF0 | (code >> 18)));
        text.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        text.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

bool isBlank(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// "-12", "+7" or "0x1F"; integers beyond 64 bits are refused.
std::optional<std::int64_t> integerOfText(std::string_view text) {
    text = trimmed(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    std::uint64_t magnitude = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    if (negative) {
        if (magnitude > std::uint64_t{1} << 63) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(0 - magnitude);
    }
    // Writers store unsigned 64-bit integers past the signed range; they read as negative,
    // as the same number does from a binary list.
    return static_cast<std::int64_t>(magnitude);
}

std::optional<double> realOfText(std::string_view text) {
    text = trimmed(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || end != text.data() + text.size() ||
        (error != std::errc() && error != std::errc::result_out_of_range)) {
        return std::nullopt;
    }
    return value;
}

// Base64 as writers wrap and pad it: its alphabet, padding and blanks, nothing else.
bool isBase64Text(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char ch) {
        return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') ||
               ch == '+' || ch == '/' || ch == '=' || isBlank(ch);
    });
}

// Days from 1970-01-01 to a civil date of the proleptic Gregorian calendar.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

// "2024-03-01T18:30:00Z", the one form property lists write; the "Z" may be left out.
std::optional<JsonValue> dateOfText(std::string_view text) {
    text = trimmed(text);
    if (text.ends_with('Z')) {
        text.remove_suffix(1);
    }
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    const auto field = [&](std::size_t at, std::size_t length) -> std::optional<unsigned> {
        unsigned value = 0;
        const char* first = text.data() + at;
        const auto [end, error] = std::from_chars(first, first + length, value);
        if (error != std::errc() || end != first + length) {
            return std::nullopt;
        }
        return value;
    };
    const auto year = field(0, 4);
    const auto month = field(5, 2);
    const auto day = field(8, 2);
    const auto hour = field(11, 2);
    const auto minute = field(14, 2);
    const auto second = field(17, 2);
    if (!year || !month || !day || !hour || !minute || !second || *month < 1 || *month > 12 ||
        *day < 1 || *day > 31 || *hour > 23 || *minute > 59 || *second > 60) {
        return std::nullopt;
    }
    const std::int64_t unixSeconds =
        daysFromCivil(*year, *month, *day) * 86400 + *hour * 3600 + *minute * 60 + *second;
    return dateValue(static_cast<double>(unixSeconds - kPropertyListEpoch));
}

// The XML form, read by expat straight into the value tree: one frame per open container,
// and the text of the open scalar element.
class XmlReader {
public:
    Result<JsonValue> read(std::string_view bytes) {
        // The encoding is the one the declaration names, UTF-8 without one.
        std::unique_ptr<std::remove_pointer_t<XML_Parser>, decltype(&XML_ParserFree)> parser(
            XML_ParserCreate(nullptr), XML_ParserFree);
        if (!parser) {
            return notAPropertyList("out of memory");
        }
        m_parser = parser.get();
        XML_SetUserData(m_parser, this);
        XML_SetElementHandler(m_parser, &XmlReader::onStart, &XmlReader::onEnd);
        XML_SetCharacterDataHandler(m_parser, &XmlReader::onText);
        XML_SetEntityDeclHandler(m_parser, &XmlReader::onEntityDeclaration);
        XML_SetParamEntityParsing(m_parser, XML_PARAM_ENTITY_PARSING_NEVER);
        // Fed in pieces, so that a text beyond the parser's int length is read whole.
        constexpr std::size_t kPiece = std::size_t{1} << 24;
        std::size_t offset = 0;
        do {
            const std::size_t length = std::min(kPiece, bytes.size() - offset);
            const bool last = offset + length == bytes.size();
            if (XML_Parse(m_parser, bytes.data() + offset, static_cast<int>(length),
                          last ? XML_TRUE : XML_FALSE) != XML_STATUS_OK) {
                if (m_error) {
                    return std::unexpected(std::move(*m_error));
                }
                return notAPropertyList(std::string(XML_ErrorString(XML_GetErrorCode(m_parser))) +
                                        " at line " +
                                        std::to_string(XML_GetCurrentLineNumber(m_parser)));
            }
            offset += length;
        } while (offset < bytes.size());
        if (!m_root) {
            return notAPropertyList("the property list holds no value");
        }
        return std::move(*m_root);
    }

private:
    enum class Container { Plist, Array, Dict };
    enum class Scalar { None, Key, String, Integer, Real, Date, Data, True, False };

    struct Frame {
        Container kind;
        JsonArray elements;
        std::vector<JsonObject::Member> members;
        std::optional<std::string> key;  // read, its value not yet
        bool holdsValue = false;         // a <plist> holds one value
    };

    static void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char**) {
        static_cast<XmlReader*>(data)->start(name);
    }
    static void XMLCALL onEnd(void* data, const XML_Char*) { static_cast<XmlReader*>(data)->end(); }
    static void XMLCALL onText(void* data, const XML_Char* text, int length) {
        static_cast<XmlReader*>(data)->text(
            std::string_view(text, static_cast<std::size_t>(length)));
    }
    // A document type may declare entities of its own; none is expanded, and no external
    // entity is ever fetched.
    static void XMLCALL onEntityDeclaration(void* data, const XML_Char*, int, const XML_Char*, int,
                                            const XML_Char*, const XML_Char*, const XML_Char*,
                                            const XML_Char*) {
        static_cast<XmlReader*>(data)->fail(notAPropertyList("entity declarations are not read"));
    }

    void fail(std::unexpected<Error> error) {
        if (!m_error) {
            m_error = std::move(error.error());
            XML_StopParser(m_parser, XML_FALSE);
        }
    }

    void failAt(const std::string& what) {
        fail(notAPropertyList(what + " at line " +
                              std::to_string(XML_GetCurrentLineNumber(m_parser))));
    }

    // Whether a value may come now: as the document, a <plist>'s one value, an array's next
    // element or the value of a dictionary's key just read.
    bool mayTakeValue() {
        if (m_frames.empty()) {
            return !m_root;
        }
        const Frame& top = m_frames.back();
        switch (top.kind) {
            case Container::Plist:
                return !top.holdsValue;
            case Container::Array:
                return true;
            case Container::Dict:
                return top.key.has_value();
        }
        return false;
    }

    void start(std::string_view name) {
        if (m_error) {
            return;
        }
        if (m_scalar != Scalar::None) {
            failAt("<" + std::string(name) + "> inside a value");
            return;
        }
        if (name == "key") {
            if (m_frames.empty() || m_frames.back().kind != Container::Dict ||
                m_frames.back().key) {
                failAt("a <key> out of place");
                return;
            }
            m_scalar = Scalar::Key;
            m_text.clear();
            return;
        }
        if (name == "plist") {
            if (!m_frames.empty() || m_root) {
                failAt("a <plist> inside the list");
                return;
            }
            m_frames.push_back(Frame{Container::Plist, {}, {}, {}, false});
            return;
        }
        if (!mayTakeValue()) {
            failAt("a value without its key");
            return;
        }
        if (name == "array" || name == "dict") {
            if (++m_depth > kMaxDepth) {
                fail(tooDeep());
                return;
            }
            m_frames.push_back(
                Frame{name == "array" ? Container::Array : Container::Dict, {}, {}, {}, false});
            return;
        }
        static constexpr std::pair<std::string_view, Scalar> kScalars[] = {
            {"string", Scalar::String}, {"integer", Scalar::Integer}, {"real", Scalar::Real},
            {"true", Scalar::True},     {"false", Scalar::False},     {"date", Scalar::Date},
            {"data", Scalar::Data}};
        for (const auto& [scalarName, scalar] : kScalars) {
            if (name == scalarName) {
                m_scalar = scalar;
                m_text.clear();
                return;
            }
        }
        failAt("an unknown element <" + std::string(name) + ">");
    }

    void text(std::string_view text) {
        if (m_error) {
            return;
        }
        if (m_scalar != Scalar::None) {
            m_text.append(text);
        } else if (!trimmed(text).empty()) {
            failAt("text outside a value");
        }
    }

    void end() {
        if (m_error) {
            return;
        }
        if (m_scalar != Scalar::None) {
            endScalar();
            return;
        }
        Frame frame = std::move(m_frames.back());
        m_frames.pop_back();
        switch (frame.kind) {
            case Container::Plist:
                if (!frame.holdsValue) {
                    failAt("an empty <plist>");
                }
                return;
            case Container::Array:
                --m_depth;
                add(JsonValue(std::move(frame.elements)));
                return;
            case Container::Dict:
                --m_depth;
                if (frame.key) {
                    failAt("the key \"" + *frame.key + "\" without a value");
                    return;
                }
                add(JsonValue(JsonObject(std::move(frame.members))));
                return;
        }
    }

    void endScalar() {
        const Scalar scalar = std::exchange(m_scalar, Scalar::None);
        switch (scalar) {
            case Scalar::None:
                return;
            case Scalar::Key:
                m_frames.back().key = std::move(m_text);
                m_text = std::string();
                return;
            case Scalar::String:
                add(JsonValue(std::move(m_text)));
                m_text = std::string();
                return;
            case Scalar::Integer:
                if (auto value = integerOfText(m_text)) {
                    add(JsonValue(*value));
                } else {
                    failAt("the integer \"" + m_text + "\"");
                }
                return;
            case Scalar::Real:
                if (auto value = realOfText(m_text)) {
                    add(JsonValue(*value));
                } else {
                    failAt("the real \"" + m_text + "\"");
                }
                return;
            case Scalar::True:
            case Scalar::False:
                if (!trimmed(m_text).empty()) {
                    failAt("text inside a boolean");
                    return;
                }
                add(JsonValue(scalar == Scalar::True));
                return;
            case Scalar::Date:
                if (auto value = dateOfText(m_text)) {
                    add(std::move(*value));
                } else {
                    failAt("the date \"" + m_text + "\"");
                }
                return;
            case Scalar::Data:
                // Given as Base64 in the form the binary list's data takes, whatever line
                // breaks or padding the writer chose.
                if (auto bytes =
                        isBase64Text(m_text) ? decodeLenientBase64(m_text) : std::nullopt) {
                    add(JsonValue(base64Encode(*bytes)));
                } else {
                    failAt("data that is not Base64");
                }
                return;
        }
    }

    void add(JsonValue value) {
        if (m_frames.empty()) {
            m_root = std::move(value);
            return;
        }
        Frame& top = m_frames.back();
        switch (top.kind) {
            case Container::Plist:
                top.holdsValue = true;
                m_root = std::move(value);
                return;
            case Container::Array:
                top.elements.push_back(std::move(value));
                return;
            case Container::Dict:
                top.members.emplace_back(std::move(*top.key), std::move(value));
                top.key.reset();
                return;
        }
    }

    XML_Parser m_parser = nullptr;
    std::vector<Frame> m_frames;
    int m_depth = 0;
    Scalar m_scalar = Scalar::None;
    std::string m_text;
    std::optional<JsonValue> m_root;
    std::optional<Error> m_error;
};

// The binary form: a header, the objects, a table of their offsets and a trailer that says
// where the table is and how wide its numbers are. Objects refer to each other by index.
class BinaryReader {
public:
    explicit BinaryReader(std::string_view bytes) : m_bytes(bytes) {}

    Result<JsonValue> read() {
        constexpr std::size_t kHeader = 8;
        constexpr std::size_t kTrailer = 32;
        if (m_bytes.size() < kHeader + kTrailer + 1) {
            return notAPropertyList("too short for a binary property list");
        }
        const std::size_t trailer = m_bytes.size() - kTrailer;
        m_offsetSize = byteAt(trailer + 6);
        m_referenceSize = byteAt(trailer + 7);
        m_objectCount = bigEndian(trailer + 8, 8);
        const std::uint64_t top = bigEndian(trailer + 16, 8);
        m_offsetTable = bigEndian(trailer + 24, 8);
        // Objects come between the header and the offset table, as every writer lays them.
        m_objectsEnd = m_offsetTable;
        if (m_offsetSize < 1 || m_offsetSize > 8 || m_referenceSize < 1 || m_referenceSize > 8 ||
            m_objectCount == 0 || top >= m_objectCount || m_offsetTable < kHeader ||
            m_offsetTable > trailer || m_objectCount > (trailer - m_offsetTable) / m_offsetSize) {
            return notAPropertyList("a damaged trailer");
        }
        // Every value made counts against the size of the file: a list of trees never comes
        // near it (each reference takes a byte at least), one whose parts refer to the same
        // containers over and over (a few hundred bytes can stand for billions of values)
        // reaches it soon.
        m_budget = m_bytes.size() + kSmallestBudget;
        return object(top, 0);
    }

private:
    // Enough for any small list, however its parts are shared.
    static constexpr std::uint64_t kSmallestBudget = 1 << 16;

    std::uint8_t byteAt(std::size_t at) const { return static_cast<std::uint8_t>(m_bytes[at]); }

    std::uint64_t bigEndian(std::size_t at, std::size_t width) const {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < width; ++i) {
            value = (value << 8) | byteAt(at + i);
        }
        return value;
    }

    // Whether `count` items of `width` bytes fit between `at` and the end of the objects.
    bool fits(std::uint64_t at, std::uint64_t count, std::uint64_t width) const {
        return at <= m_objectsEnd && count <= (m_objectsEnd - at) / width;
    }

    std::unexpected<Error> damaged(const std::string& what, std::uint64_t index) const {
        return notAPropertyList(what + " (object " + std::to_string(index) + ")");
    }

    // The count of an object's items: the marker's low bits, or an integer object after it.
    std::optional<std::uint64_t> count(std::uint64_t& at, std::uint8_t info) const {
        if (info != 0x0F) {
            return info;
        }
        if (!fits(at, 1, 1)) {
            return std::nullopt;
        }
        const std::uint8_t marker = byteAt(at);
        if ((marker >> 4) != 0x1 || (marker & 0x0F) > 3) {
            return std::nullopt;
        }
        const std::size_t width = std::size_t{1} << (marker & 0x0F);
        if (!fits(at + 1, 1, width)) {
            return std::nullopt;
        }
        const std::uint64_t value = bigEndian(at + 1, width);
        at += 1 + width;
        return value;
    }

    Result<std::uint64_t> reference(std::uint64_t at, std::uint64_t index) const {
        const std::uint64_t target = bigEndian(at, m_referenceSize);
        if (target >= m_objectCount) {
            return damaged("a reference past the objects", index);
        }
        return target;
    }

    Result<std::string> keyText(std::uint64_t index, int depth) {
        auto key = object(index, depth);
        if (!key) {
            return std::unexpected(std::move(key.error()));
        }
        if (!key->isString()) {
            return damaged("a dictionary key that is not a string", index);
        }
        return key->asString();
    }

    // `depth` counts the containers around the object, as the XML form's reader does.
    Result<JsonValue> object(std::uint64_t index, int depth) {
        if (m_budget == 0) {
            return notAPropertyList("the objects refer to the same containers too often");
        }
        --m_budget;
        const std::uint64_t offset = bigEndian(m_offsetTable + index * m_offsetSize, m_offsetSize);
        if (offset < 8 || !fits(offset, 1, 1)) {
            return damaged("an offset outside the objects", index);
        }
        const std::uint8_t marker = byteAt(offset);
        const std::uint8_t info = marker & 0x0F;
        std::uint64_t at = offset + 1;
        switch (marker >> 4) {
            case 0x0:
                if (marker == 0x08 || marker == 0x09) {
                    return JsonValue(marker == 0x09);
                }
                if (marker == 0x00 || marker == 0x0F) {
                    return JsonValue();
                }
                return damaged("an unknown object", index);
            case 0x1: {
                if (info > 4) {
                    return damaged("an integer of unknown width", index);
                }
                const std::size_t width = std::size_t{1} << info;
                if (!fits(at, 1, width)) {
                    return damaged("an integer past the end", index);
                }
                // Sixteen bytes hold an unsigned 64-bit integer in their second half.
                return JsonValue(static_cast<std::int64_t>(width == 16 ? bigEndian(at + 8, 8)
                                                                       : bigEndian(at, width)));
            }
            case 0x2: {
                if (info != 2 && info != 3) {
                    return damaged("a real of unknown width", index);
                }
                if (!fits(at, 1, std::size_t{1} << info)) {
                    return damaged("a real past the end", index);
                }
                return JsonValue(realAt(at, info == 3));
            }
            case 0x3: {
                if (marker != 0x33 || !fits(at, 1, 8)) {
                    return damaged("a damaged date", index);
                }
                if (auto date = dateValue(realAt(at, true))) {
                    return std::move(*date);
                }
                return damaged("a date out of range", index);
            }
            case 0x4:
            case 0x5:
            case 0x6:
            case 0x7: {
                const auto length = count(at, info);
                const std::uint64_t width = (marker >> 4) == 0x6 ? 2 : 1;
                if (!length || !fits(at, *length, width)) {
                    return damaged("a string or data past the end", index);
                }
                const std::string_view raw = m_bytes.substr(at, *length * width);
                switch (marker >> 4) {
                    case 0x4:
                        return JsonValue(base64Encode(raw));
                    case 0x5:
                        return JsonValue(latin1Text(raw));
                    case 0x6:
                        return JsonValue(utf16Text(raw));
                    default:
                        return JsonValue(std::string(raw));
                }
            }
            case 0x8: {
                const std::size_t width = info + 1u;
                if (width > 8 || !fits(at, 1, width)) {
                    return damaged("a damaged identifier", index);
                }
                return JsonValue(static_cast<std::int64_t>(bigEndian(at, width)));
            }
            case 0xA:
            case 0xB:
            case 0xC: {
                // Sets, rare as they are, read as arrays.
                if (depth >= kMaxDepth) {
                    return tooDeep();
                }
                const auto length = count(at, info);
                if (!length || !fits(at, *length, m_referenceSize)) {
                    return damaged("an array past the end", index);
                }
                JsonArray elements;
                elements.reserve(*length);
                for (std::uint64_t i = 0; i < *length; ++i) {
                    auto target = reference(at + i * m_referenceSize, index);
                    if (!target) {
                        return std::unexpected(std::move(target.error()));
                    }
                    auto element = object(*target, depth + 1);
                    if (!element) {
                        return element;
                    }
                    elements.push_back(std::move(*element));
                }
                return JsonValue(std::move(elements));
            }
            case 0xD: {
                if (depth >= kMaxDepth) {
                    return tooDeep();
                }
                const auto length = count(at, info);
                if (!length || *length > std::numeric_limits<std::uint64_t>::max() / 2 ||
                    !fits(at, *length * 2, m_referenceSize)) {
                    return damaged("a dictionary past the end", index);
                }
                std::vector<JsonObject::Member> members;
                members.reserve(*length);
                const std::uint64_t values = at + *length * m_referenceSize;
                for (std::uint64_t i = 0; i < *length; ++i) {
                    auto keyIndex = reference(at + i * m_referenceSize, index);
                    if (!keyIndex) {
                        return std::unexpected(std::move(keyIndex.error()));
                    }
                    auto key = keyText(*keyIndex, depth + 1);
                    if (!key) {
                        return std::unexpected(std::move(key.error()));
                    }
                    auto valueIndex = reference(values + i * m_referenceSize, index);
                    if (!valueIndex) {
                        return std::unexpected(std::move(valueIndex.error()));
                    }
                    auto value = object(*valueIndex, depth + 1);
                    if (!value) {
                        return value;
                    }
                    members.emplace_back(std::move(*key), std::move(*value));
                }
                return JsonValue(JsonObject(std::move(members)));
            }
            default:
                return damaged("an unknown object", index);
        }
    }

    double realAt(std::uint64_t at, bool wide) const {
        if (wide) {
            const std::uint64_t bits = bigEndian(at, 8);
            double value = 0;
            std::memcpy(&value, &bits, sizeof value);
            return value;
        }
        const auto bits = static_cast<std::uint32_t>(bigEndian(at, 4));
        float value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    // Strings of one byte a character are ASCII as writers make them; a byte past ASCII is
    // read as Latin-1, so that every string is UTF-8.
    static std::string latin1Text(std::string_view raw) {
        std::string text;
        text.reserve(raw.size());
        for (char ch : raw) {
            appendUtf8(text, static_cast<unsigned char>(ch));
        }
        return text;
    }

    // UTF-16 in big-endian order; an unpaired surrogate becomes U+FFFD.
    static std::string utf16Text(std::string_view raw) {
        std::string text;
        text.reserve(raw.size() + raw.size() / 2);
        const auto unit = [&](std::size_t i) {
            return static_cast<std::uint32_t>((static_cast<unsigned char>(raw[2 * i]) << 8) |
                                              static_cast<unsigned char>(raw[2 * i + 1]));
        };
        const std::size_t units = raw.size() / 2;
        for (std::size_t i = 0; i < units; ++i) {
            std::uint32_t code = unit(i);
            if (code >= 0xD800 && code <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 &&
                unit(i + 1) <= 0xDFFF) {
                code = 0x10000 + ((code - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
                ++i;
            } else if (code >= 0xD800 && code <= 0xDFFF) {
                code = 0xFFFD;
            }
            appendUtf8(text, code);
        }
        return text;
    }

    std::string_view m_bytes;
    std::uint64_t m_offsetSize = 0;
    std::uint64_t m_referenceSize = 0;
    std::uint64_t m_objectCount = 0;
    std::uint64_t m_offsetTable = 0;
    std::uint64_t m_objectsEnd = 0;
    std::uint64_t m_budget = 0;
};

// The older text syntax, read by recursive descent over the text.
class TextSyntaxReader {
public:
    explicit TextSyntaxReader(std::string_view text) : m_text(text) {}

    Result<JsonValue> document() {
        auto value = this->value(0);
        if (!value) {
            return value;
        }
        skipBlanks();
        if (m_at != m_text.size()) {
            return failure("text after the value");
        }
        return value;
    }

private:
    static bool isBareCharacter(char ch) {
        return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
               ch == '_' || ch == '$' || ch == '/' || ch == ':' || ch == '.' || ch == '-' ||
               ch == '+';
    }

    std::unexpected<Error> failure(std::string_view what) const {
        return makeError(kPropertyListErrorDomain, PropertyListErrorCode::NotAPropertyList,
                         "The text is not a property list.",
                         std::string(what) + " at offset " + std::to_string(m_at));
    }

    void skipBlanks() {
        while (m_at < m_text.size()) {
            const char ch = m_text[m_at];
            if (ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n') {
                ++m_at;
            } else if (m_text.substr(m_at).starts_with("/*")) {
                const auto end = m_text.find("*/", m_at + 2);
                m_at = end == std::string_view::npos ? m_text.size() : end + 2;
            } else if (m_text.substr(m_at).starts_with("//")) {
                const auto end = m_text.find('\n', m_at);
                m_at = end == std::string_view::npos ? m_text.size() : end + 1;
            } else {
                return;
            }
        }
    }

    bool take(char ch) {
        skipBlanks();
        if (m_at < m_text.size() && m_text[m_at] == ch) {
            ++m_at;
            return true;
        }
        return false;
    }

    Result<JsonValue> value(int depth) {
        if (depth > kMaxDepth) {
            return makeError(kPropertyListErrorDomain, PropertyListErrorCode::TooDeep,
                             "The property list is nested too deeply.");
        }
        skipBlanks();
        if (m_at >= m_text.size()) {
            return failure("missing value");
        }
        const char ch = m_text[m_at];
        if (ch == '(') {
            ++m_at;
            JsonArray elements;
            if (take(')')) {
                return JsonValue(std::move(elements));
            }
            while (true) {
                auto element = value(depth + 1);
                if (!element) {
                    return element;
                }
                elements.push_back(std::move(*element));
                if (take(')')) {
                    return JsonValue(std::move(elements));
                }
                if (!take(',')) {
                    return failure("expected \",\" or \")\"");
                }
                // A comma before the closing parenthesis is allowed.
                if (take(')')) {
                    return JsonValue(std::move(elements));
                }
            }
        }
        if (ch == '{') {
            ++m_at;
            JsonObject members;
            while (!take('}')) {
                auto key = string();
                if (!key) {
                    return std::unexpected(key.error());
                }
                if (!take('=')) {
                    return failure("expected \"=\"");
                }
                auto member = value(depth + 1);
                if (!member) {
                    return member;
                }
                members.set(std::move(*key), std::move(*member));
                if (!take(';')) {
                    return failure("expected \";\"");
                }
            }
            return JsonValue(std::move(members));
        }
        auto text = string();
        if (!text) {
            return std::unexpected(text.error());
        }
        return JsonValue(std::move(*text));
    }

    Result<std::string> string() {
        skipBlanks();
        if (m_at >= m_text.size()) {
            return failure("missing string");
        }
        if (m_text[m_at] != '"') {
            const std::size_t start = m_at;
            while (m_at < m_text.size() && isBareCharacter(m_text[m_at])) {
                ++m_at;
            }
            if (m_at == start) {
                return failure("unexpected character");
            }
            return std::string(m_text.substr(start, m_at - start));
        }
        ++m_at;
        std::string result;
        while (m_at < m_text.size() && m_text[m_at] != '"') {
            char ch = m_text[m_at++];
            if (ch == '\\' && m_at < m_text.size()) {
                ch = m_text[m_at++];
                switch (ch) {
                    case 'n':
                        ch = '\n';
                        break;
                    case 't':
                        ch = '\t';
                        break;
                    case 'r':
                        ch = '\r';
                        break;
                    default:
                        break;
                }
            }
            result.push_back(ch);
        }
        if (m_at >= m_text.size()) {
            return failure("unterminated string");
        }
        ++m_at;
        return result;
    }

    std::string_view m_text;
    std::size_t m_at = 0;
};

}  // namespace

Result<JsonValue> readPropertyList(std::string_view bytes) {
    if (bytes.empty()) {
        return notAPropertyList("the file is empty");
    }
    if (bytes.starts_with("bplist0")) {
        return BinaryReader(bytes).read();
    }
    return XmlReader().read(bytes);
}

Result<JsonValue> readTextPropertyList(std::string_view text) {
    const auto start = text.find_first_not_of(" \t\r\n");
    if (start != std::string_view::npos && text[start] == '<') {
        return readPropertyList(text);
    }
    return TextSyntaxReader(text).document();
}

}  // namespace miravel
