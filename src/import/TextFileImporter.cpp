#include "import/TextFileImporter.h"

#include "lib/AtomicFile.h"
#include "lib/TextEncoding.h"

namespace miravel {

Result<std::string> TextFileImporter::readText(const std::filesystem::path& path) {
    auto bytes = readFile(path);
    if (!bytes) {
        return std::unexpected(bytes.error());
    }
    DecodedText decoded = decodeText(*bytes);
    if (std::string note = describeDecoding(decoded); !note.empty()) {
        fileNote(std::move(note));
    }
    return std::move(decoded.text);
}

std::string_view TextFileImporter::cleanedLine(std::string_view line, std::string& buffer) {
    const auto removed = [](char ch) {
        const auto byte = static_cast<unsigned char>(ch);
        return (byte < 0x20 && ch != '\t') || byte == 0x7F;
    };
    bool clean = true;
    for (char ch : line) {
        if (removed(ch)) {
            clean = false;
            break;
        }
    }
    if (clean) {
        return line;
    }
    buffer.clear();
    for (char ch : line) {
        if (!removed(ch)) {
            buffer.push_back(ch);
        } else if (ch != '\r') {
            ++m_controlsRemoved;
        }
    }
    return buffer;
}

void TextFileImporter::noteCleaning() {
    if (m_controlsRemoved > 0) {
        fileNote(std::to_string(m_controlsRemoved) + " control characters removed");
    }
}

}  // namespace miravel
