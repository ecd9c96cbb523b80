#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace miravel {

// How the bytes of a text file of another program were read.
enum class TextSource {
    ByteOrderMark,  // a UTF-8, UTF-16 or UTF-32 byte-order mark said so
    Utf8,           // the bytes are valid UTF-8 (plain ASCII included)
    Detected,       // the charset detector named the encoding with enough confidence
    Fallback,       // nothing was sure: read as Windows-1252, which decodes every byte
    Declared,       // the text itself named its encoding (a web page's charset)
};

struct DecodedText {
    std::string text;      // UTF-8, without the byte-order mark
    std::string encoding;  // the name of the encoding the bytes were read in
    TextSource source = TextSource::Utf8;
    // Sequences the converter could not map, each replaced by U+FFFD.
    std::size_t replaced = 0;
};

// Reads the bytes of a text file whose encoding nobody wrote down: a byte-order mark decides
// first, then valid UTF-8 is taken as it is, then ICU's charset detector is asked (an
// ISO-8859-1 answer is read as Windows-1252, its superset that files from Windows really hold),
// and when it is not sure the bytes are read as Windows-1252. The result is always valid UTF-8.
DecodedText decodeText(std::string_view bytes);

// The bytes after a UTF-8, UTF-16 or UTF-32 byte-order mark, decoded; nothing without a mark.
std::optional<DecodedText> decodeByteOrderMark(std::string_view bytes);

// The bytes read in the encoding a document declares (a charset label, any case). Latin-1 and
// ASCII labels read as Windows-1252; UTF-8 keeps its valid sequences and each bad byte becomes
// U+FFFD. Nothing when the label names no encoding ICU knows, or a UTF-16 or UTF-32 one (which
// a declaration in ASCII bytes cannot truthfully name).
std::optional<DecodedText> decodeTextAs(std::string_view bytes, std::string_view encoding);

// The bytes read as Windows-1252; the five bytes it leaves undefined become the C1 controls
// of the same value, so that every byte maps to a character.
std::string windows1252ToUtf8(std::string_view bytes);

// A line for an import report saying how the text was read, or "" when it was plain UTF-8.
std::string describeDecoding(const DecodedText& decoded);

}  // namespace miravel
