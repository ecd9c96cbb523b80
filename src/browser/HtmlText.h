#pragma once

#include <string>
#include <string_view>

namespace miravel {

// Character references as HTML reads them: numeric ones (decimal and hexadecimal, with the
// Windows-1252 reading of 0x80-0x9F that browsers apply) and the named ones recipe pages use.
// A reference that names nothing is left as it stands.
std::string decodeHtmlEntities(std::string_view text);

// Every run of white space (ASCII's, no-break spaces and the other Unicode blanks) made one
// blank, and none at the ends.
std::string collapsedWhiteSpace(std::string_view text);

// A value that a page wrote as HTML made plain text: references decoded, tags dropped (a tag
// counts as a blank, so words on either side stay apart), white space collapsed. Values in
// structured data are often HTML escaped once more ("&lt;p&gt;"), so the tags that appear
// only after decoding go too.
std::string plainTextOfHtml(std::string_view text);

}  // namespace miravel
