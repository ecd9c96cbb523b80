#include "lib/TextEncoding.h"

#include <unicode/ucnv.h>
#include <unicode/ucsdet.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <memory>
#include <vector>

#include "lib/Utf8.h"

namespace miravel {

namespace {

// Below this the detector is guessing; ICU's own scale runs from 0 to 100. A recipe file in
// a multi-byte Asian encoding must convince it more than one in a Latin one, because Latin
// text with many accented letters can pass for them.
constexpr int kMinimumConfidence = 30;
constexpr int kMinimumMultiByteConfidence = 60;

// ICU counts in 32-bit lengths; a longer text is read as Windows-1252 without asking.
constexpr std::size_t kMostConverted = std::size_t{1} << 28;

bool isMultiByte(std::string_view name) {
    return name == "Shift_JIS" || name == "EUC-JP" || name == "EUC-KR" || name == "GB18030" ||
           name == "Big5" || name == "ISO-2022-JP";
}

// Encodings the detector may name for a recipe file. Without a byte-order mark a UTF-16 or
// UTF-32 answer, and the EBCDIC ones, are mistakes on text that is neither.
bool trustedDetection(std::string_view name) {
    static constexpr std::array<std::string_view, 22> kTrusted = {
        "ISO-8859-1",   "ISO-8859-2",   "ISO-8859-5",   "ISO-8859-6",   "ISO-8859-7",
        "ISO-8859-8",   "ISO-8859-9",   "windows-1250", "windows-1251", "windows-1252",
        "windows-1253", "windows-1254", "windows-1255", "windows-1256", "KOI8-R",
        "Shift_JIS",    "EUC-JP",       "EUC-KR",       "GB18030",      "Big5",
        "ISO-8859-8-I", "ISO-2022-JP"};
    for (std::string_view trusted : kTrusted) {
        if (trusted == name) {
            return true;
        }
    }
    return false;
}

// The windows-1252 characters of 0x80-0x9F; the undefined ones keep their byte value.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Converts with ICU; nothing when ICU does not know the encoding.
bool convertWithIcu(std::string_view bytes, const char* encoding, DecodedText& decoded) {
    if (bytes.size() > kMostConverted) {
        return false;
    }
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, decltype(&ucnv_close)> converter(ucnv_open(encoding, &status),
                                                                 ucnv_close);
    if (U_FAILURE(status)) {
        return false;
    }
    std::vector<UChar> units(bytes.size() * 2 + 16);
    const auto length =
        ucnv_toUChars(converter.get(), units.data(), static_cast<int32_t>(units.size()),
                      bytes.data(), static_cast<int32_t>(bytes.size()), &status);
    if (U_FAILURE(status)) {
        return false;
    }
    std::string text;
    text.reserve(static_cast<std::size_t>(length) + bytes.size() / 4);
    for (int32_t i = 0; i < length; ++i) {
        char32_t codePoint = units[static_cast<std::size_t>(i)];
        if (codePoint >= 0xD800 && codePoint <= 0xDBFF && i + 1 < length) {
            const char32_t low = units[static_cast<std::size_t>(i) + 1];
            if (low >= 0xDC00 && low <= 0xDFFF) {
                codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (codePoint >= 0xD800 && codePoint <= 0xDFFF) {
            codePoint = 0xFFFD;
        }
        if (codePoint == 0xFFFD || codePoint == 0x1A) {
            ++decoded.replaced;
            codePoint = 0xFFFD;
        }
        appendUtf8(text, codePoint);
    }
    decoded.text = std::move(text);
    decoded.encoding = encoding;
    return true;
}

// What the detector is shown: the lines that hold bytes past ASCII, up to a bound. The ASCII
// lines say nothing about the encoding, and the whole of a long file would take the detector
// seconds.
std::string detectionSample(std::string_view bytes) {
    constexpr std::size_t kMostSampled = std::size_t{256} << 10;
    std::string sample;
    for (std::size_t start = 0; start < bytes.size() && sample.size() < kMostSampled;) {
        const auto end = std::min(bytes.find('\n', start), bytes.size());
        const std::string_view line = bytes.substr(start, end - start);
        for (char ch : line) {
            if (static_cast<unsigned char>(ch) >= 0x80) {
                sample.append(line.substr(0, kMostSampled - sample.size()));
                sample.push_back('\n');
                break;
            }
        }
        start = end + 1;
    }
    return sample;
}

}  // namespace

std::string windows1252ToUtf8(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size() + bytes.size() / 8);
    for (char ch : bytes) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x80) {
            text.push_back(ch);
        } else if (byte < 0xA0) {
            appendUtf8(text, kWindows1252High[byte - 0x80]);
        } else {
            appendUtf8(text, byte);
        }
    }
    return text;
}

std::optional<DecodedText> decodeByteOrderMark(std::string_view bytes) {
    DecodedText decoded;
    struct Mark {
        std::string_view bytes;
        const char* encoding;
    };
    using namespace std::string_view_literals;
    // UTF-32LE's mark begins with UTF-16LE's, so it is looked for first.
    static constexpr std::array<Mark, 5> kMarks = {{{"\xFF\xFE\x00\x00"sv, "UTF-32LE"},
                                                    {"\x00\x00\xFE\xFF"sv, "UTF-32BE"},
                                                    {"\xEF\xBB\xBF"sv, "UTF-8"},
                                                    {"\xFF\xFE"sv, "UTF-16LE"},
                                                    {"\xFE\xFF"sv, "UTF-16BE"}}};
    for (const Mark& mark : kMarks) {
        const std::string_view markBytes = mark.bytes;
        const std::size_t length = markBytes.size();
        if (bytes.starts_with(markBytes)) {
            const std::string_view rest = bytes.substr(length);
            decoded.source = TextSource::ByteOrderMark;
            if (std::string_view(mark.encoding) == "UTF-8") {
                RepairedUtf8 repaired = replacingInvalidUtf8(rest);
                decoded.text = std::move(repaired.text);
                decoded.replaced = repaired.replaced;
                decoded.encoding = "UTF-8";
                return decoded;
            }
            if (convertWithIcu(rest, mark.encoding, decoded)) {
                return decoded;
            }
        }
    }
    return std::nullopt;
}

std::optional<DecodedText> decodeTextAs(std::string_view bytes, std::string_view encoding) {
    std::string label;
    for (char ch : encoding) {
        label.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(ch))));
    }
    DecodedText decoded;
    decoded.source = TextSource::Declared;
    if (label == "utf-8" || label == "utf8" || label == "unicode-1-1-utf-8") {
        RepairedUtf8 repaired = replacingInvalidUtf8(bytes);
        decoded.text = std::move(repaired.text);
        decoded.replaced = repaired.replaced;
        decoded.encoding = "UTF-8";
        return decoded;
    }
    // Browsers read every Latin-1 and ASCII label as Windows-1252, and pages so labelled
    // really hold its quotes and dashes in 0x80-0x9F.
    if (label == "iso-8859-1" || label == "iso8859-1" || label == "latin1" || label == "latin-1" ||
        label == "l1" || label == "us-ascii" || label == "ascii" || label == "windows-1252" ||
        label == "cp1252" || label == "x-cp1252" || label == "cp819" || label == "ibm819" ||
        label == "iso_8859-1") {
        decoded.text = windows1252ToUtf8(bytes);
        decoded.encoding = "Windows-1252";
        return decoded;
    }
    // A page in UTF-16 declares so only by its byte-order mark; a meta tag that says UTF-16
    // stands in bytes that are ASCII, so is wrong.
    if (label.starts_with("utf-16") || label.starts_with("utf-32") || label.empty() ||
        label.size() > 40) {
        return std::nullopt;
    }
    if (convertWithIcu(bytes, label.c_str(), decoded)) {
        decoded.source = TextSource::Declared;
        return decoded;
    }
    return std::nullopt;
}

DecodedText decodeText(std::string_view bytes) {
    if (auto marked = decodeByteOrderMark(bytes)) {
        return std::move(*marked);
    }
    DecodedText decoded;
    if (isValidUtf8(bytes)) {
        decoded.text = bytes;
        decoded.encoding = "UTF-8";
        decoded.source = TextSource::Utf8;
        return decoded;
    }
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UCharsetDetector, decltype(&ucsdet_close)> detector(ucsdet_open(&status),
                                                                        ucsdet_close);
    if (U_SUCCESS(status)) {
        const std::string sample = detectionSample(bytes);
        ucsdet_setText(detector.get(), sample.data(), static_cast<int32_t>(sample.size()), &status);
        const UCharsetMatch* match = ucsdet_detect(detector.get(), &status);
        if (U_SUCCESS(status) && match != nullptr) {
            const char* name = ucsdet_getName(match, &status);
            const int confidence = ucsdet_getConfidence(match, &status);
            if (U_SUCCESS(status) && name != nullptr && trustedDetection(name) &&
                confidence >=
                    (isMultiByte(name) ? kMinimumMultiByteConfidence : kMinimumConfidence)) {
                if (std::string_view(name) == "ISO-8859-1" ||
                    std::string_view(name) == "windows-1252") {
                    decoded.text = windows1252ToUtf8(bytes);
                    decoded.encoding = "Windows-1252";
                    decoded.source = TextSource::Detected;
                    return decoded;
                }
                DecodedText converted;
                if (convertWithIcu(bytes, name, converted)) {
                    converted.source = TextSource::Detected;
                    return converted;
                }
            }
        }
    }
    decoded.text = windows1252ToUtf8(bytes);
    decoded.encoding = "Windows-1252";
    decoded.source = TextSource::Fallback;
    return decoded;
}

std::string describeDecoding(const DecodedText& decoded) {
    std::string line;
    switch (decoded.source) {
        case TextSource::Utf8:
            break;
        case TextSource::ByteOrderMark:
            if (decoded.encoding != "UTF-8") {
                line = "read as " + decoded.encoding + " (byte-order mark)";
            }
            break;
        case TextSource::Detected:
            line = "not UTF-8; read as " + decoded.encoding + " (detected)";
            break;
        case TextSource::Declared:
            if (decoded.encoding != "UTF-8") {
                line = "read as " + decoded.encoding + " (declared)";
            }
            break;
        case TextSource::Fallback:
            line = "not UTF-8 and no encoding recognised; read as Windows-1252";
            break;
    }
    if (decoded.replaced > 0) {
        line += std::string(line.empty() ? "" : "; ") + std::to_string(decoded.replaced) +
                " unreadable characters replaced";
    }
    return line;
}

}  // namespace miravel
