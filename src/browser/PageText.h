#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lib/TextEncoding.h"

namespace miravel {

// A web page's bytes as UTF-8, read as a browser would: a byte-order mark decides first, then
// a charset declared in a meta tag near the start, else UTF-8. The mark is dropped and every
// byte that is not part of a valid sequence becomes U+FFFD, so one stray byte costs one
// character rather than the reading of the rest of the page.
DecodedText decodePage(std::string_view bytes);

// The charset a meta tag in the first bytes of a page declares (`<meta charset="...">` or the
// http-equiv form), or "".
std::string declaredCharset(std::string_view bytes);

// The contents of every `<script type="application/ld+json">` element of a page, in page
// order, found by scanning the bytes as an HTML tokenizer would for script elements: the
// contents run to the first "</script" (but for one that closes a script tag written inside a
// comment inside them), and script elements inside comments do not count.
std::vector<std::string_view> jsonLdBlocks(std::string_view page);

// The page as the tree needs it, for a parser that takes JSON-LD from the bytes: without the
// contents of its script, style and svg elements (the elements stay, empty), and without the
// attributes the tree is never asked for. Script and style contents are raw text to an HTML
// parser, so the tree is the same but for those texts; an svg holds drawings, never a
// recipe's text. On today's pages the two are two thirds of the bytes a parser would
// otherwise go through. Tags, comments and raw text are read as an HTML tokenizer reads them,
// and what stays is copied byte for byte.
std::string pageForTree(std::string_view page);

// The attributes pageForTree keeps (lower case, sorted), and whether it keeps one.
std::span<const std::string_view> attributesForTree();
bool isAttributeForTree(std::string_view name);

// Whether a script element's type attribute value names JSON-LD.
bool isJsonLdType(std::string_view type);

}  // namespace miravel
