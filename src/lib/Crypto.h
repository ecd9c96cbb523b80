#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace miravel {

// SHA-256 of the bytes as 64 lower-case hexadecimal digits (content and photo hashes).
std::string sha256Hex(std::string_view bytes);

// Standard Base64 with padding, no line breaks.
std::string base64Encode(std::string_view bytes);

// Decodes standard Base64; white space (line breaks of wrapped text) is ignored. Anything
// else that is not Base64, or wrong padding, gives nothing.
std::optional<std::string> base64Decode(std::string_view text);

// Base64 as other programs write it: line breaks, blanks and padding anywhere, or padding
// left out; only the alphabet counts, and a lone last character (which carries no whole byte)
// is dropped.
std::optional<std::string> decodeLenientBase64(std::string_view text);

// A new identifier, unique across machines, processes and calls: a random (version 4) UUID
// in upper-case text, e.g. "1B4E28BA-2FA1-41D2-883F-0016D3CCA427". Its randomness comes from
// the system's cryptographic generator.
std::string newUid();

}  // namespace miravel
