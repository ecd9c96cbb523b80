#include "lib/APDocument.h"

#include <expat.h>

#include <algorithm>
#include <memory>
#include <type_traits>
#include <vector>

#include "lib/APXMLBuilder.h"

namespace miravel {

namespace {

struct ParserState {
    XML_Parser parser;
    APXMLBuilder* builder;
};

std::size_t currentLine(XML_Parser parser) {
    return static_cast<std::size_t>(XML_GetCurrentLineNumber(parser));
}

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto* state = static_cast<ParserState*>(data);
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const XML_Char** attribute = attributes; attribute[0] != nullptr; attribute += 2) {
        pairs.emplace_back(attribute[0], attribute[1]);
    }
    state->builder->startElement(name, std::move(pairs), currentLine(state->parser));
}

void XMLCALL onEnd(void* data, const XML_Char*) {
    static_cast<ParserState*>(data)->builder->endElement();
}

void XMLCALL onCharacters(void* data, const XML_Char* text, int length) {
    static_cast<ParserState*>(data)->builder->characters(
        std::string_view(text, static_cast<std::size_t>(length)));
}

// A document type declaration may name entities of its own; none is expanded beyond what
// the text itself holds, and no external entity is ever fetched.
void XMLCALL onEntityDeclaration(void* data, const XML_Char*, int, const XML_Char*, int,
                                 const XML_Char*, const XML_Char*, const XML_Char*,
                                 const XML_Char*) {
    XML_StopParser(static_cast<ParserState*>(data)->parser, XML_FALSE);
}

}  // namespace

APDocument APDocument::documentWithXMLString(std::string_view text) {
    APDocument document;
    APXMLBuilder builder(document);
    // The text is UTF-8 whatever its declaration says: the caller has decoded it.
    std::unique_ptr<std::remove_pointer_t<XML_Parser>, decltype(&XML_ParserFree)> parser(
        XML_ParserCreate("UTF-8"), XML_ParserFree);
    if (!parser) {
        builder.failed("out of memory", 0);
        return document;
    }
    ParserState state{parser.get(), &builder};
    XML_SetUserData(parser.get(), &state);
    XML_SetElementHandler(parser.get(), onStart, onEnd);
    XML_SetCharacterDataHandler(parser.get(), onCharacters);
    XML_SetEntityDeclHandler(parser.get(), onEntityDeclaration);
    XML_SetParamEntityParsing(parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);
    // Fed in pieces, so that a text beyond the parser's int length is read whole.
    constexpr std::size_t kPiece = std::size_t{1} << 24;
    std::size_t offset = 0;
    do {
        const std::size_t length = std::min(kPiece, text.size() - offset);
        const bool last = offset + length == text.size();
        if (XML_Parse(parser.get(), text.data() + offset, static_cast<int>(length),
                      last ? XML_TRUE : XML_FALSE) != XML_STATUS_OK) {
            const XML_Error code = XML_GetErrorCode(parser.get());
            builder.failed(code == XML_ERROR_ABORTED ? "entity declarations are not read"
                                                     : XML_ErrorString(code),
                           currentLine(parser.get()));
            break;
        }
        offset += length;
    } while (offset < text.size());
    return document;
}

}  // namespace miravel
