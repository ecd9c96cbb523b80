#include "lib/YAMLSerialization.h"

#include <yaml.h>

#include <algorithm>
#include <new>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace miravel {

namespace {

using Code = YAMLSerialization::ErrorCode;

constexpr const char* kRecoverySuggestion = "Make sure YAML file is well formed";

std::unexpected<Error> yamlError(Code code, std::string description) {
    return makeError(kYAMLErrorDomain, static_cast<int>(code), std::move(description),
                     kRecoverySuggestion);
}

std::unexpected<Error> parseError() {
    return yamlError(Code::Parse, "Parse error");
}

// Owns the parser and the current event so every exit path releases them.
class Parser {
public:
    Parser() { m_initialized = yaml_parser_initialize(&m_parser) != 0; }
    ~Parser() {
        clearEvent();
        if (m_initialized) {
            yaml_parser_delete(&m_parser);
        }
    }
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    bool initialized() const { return m_initialized; }
    yaml_parser_t& get() { return m_parser; }

    // The next event, or nullptr when libyaml reports an error (see m_parser.error).
    const yaml_event_t* next() {
        clearEvent();
        if (yaml_parser_parse(&m_parser, &m_event) == 0) {
            return nullptr;
        }
        m_hasEvent = true;
        return &m_event;
    }

private:
    void clearEvent() {
        if (m_hasEvent) {
            yaml_event_delete(&m_event);
            m_hasEvent = false;
        }
    }

    yaml_parser_t m_parser{};
    yaml_event_t m_event{};
    bool m_initialized = false;
    bool m_hasEvent = false;
};

// A finished value with what an alias to it would cost: its expanded size (nodes plus text
// bytes) and how many collection levels it spans (0 for a scalar).
struct Node {
    JsonValue value;
    std::size_t size = 0;
    std::size_t height = 0;
};

// A collection still open.
struct Frame {
    bool isMapping = false;
    std::string anchor;
    JsonArray items;
    std::vector<JsonObject::Member> members;
    std::optional<std::string> key;  // of the member whose value comes next
    std::size_t size = 1;
    std::size_t height = 1;
};

std::string text(const yaml_char_t* bytes, std::size_t length) {
    return std::string(reinterpret_cast<const char*>(bytes), length);
}

std::string anchorOf(const yaml_char_t* anchor) {
    return anchor == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(anchor));
}

class Reader {
public:
    Result<JsonArray> run(std::string_view data);

private:
    // Places a finished value in the open collection, or makes it the document's root.
    Result<void> add(Node node);
    Result<void> openCollection(bool isMapping, const yaml_char_t* anchor);
    Result<void> closeCollection();
    Result<void> alias(const yaml_char_t* anchor);
    void remember(const std::string& anchor, const Node& node);

    std::vector<Frame> m_stack;
    std::optional<JsonValue> m_root;
    std::unordered_map<std::string, Node> m_anchors;
    std::size_t m_aliasExpansion = 0;
};

Result<void> Reader::add(Node node) {
    if (m_stack.empty()) {
        m_root = std::move(node.value);
        return {};
    }
    Frame& frame = m_stack.back();
    frame.size += node.size;
    frame.height = std::max(frame.height, node.height + 1);
    if (!frame.isMapping) {
        frame.items.push_back(std::move(node.value));
        return {};
    }
    if (!frame.key) {
        if (!node.value.isString()) {
            return parseError();
        }
        frame.key = node.value.asString();
        return {};
    }
    frame.members.emplace_back(std::move(*frame.key), std::move(node.value));
    frame.key.reset();
    return {};
}

Result<void> Reader::openCollection(bool isMapping, const yaml_char_t* anchor) {
    if (m_stack.size() >= YAMLSerialization::kMaxDepth) {
        return yamlError(Code::TooDeep, "YAML collections are nested too deeply");
    }
    Frame& frame = m_stack.emplace_back();
    frame.isMapping = isMapping;
    frame.anchor = anchorOf(anchor);
    return {};
}

Result<void> Reader::closeCollection() {
    if (m_stack.empty()) {
        return parseError();
    }
    Frame frame = std::move(m_stack.back());
    m_stack.pop_back();
    Node node;
    node.size = frame.size;
    node.height = frame.height;
    if (frame.isMapping) {
        // Built in one go: the vector constructor resolves repeated keys without the
        // quadratic cost of setting members one by one.
        node.value = JsonObject(std::move(frame.members));
    } else {
        node.value = std::move(frame.items);
    }
    if (!frame.anchor.empty()) {
        remember(frame.anchor, node);
    }
    return add(std::move(node));
}

Result<void> Reader::alias(const yaml_char_t* anchor) {
    // Only finished values are registered, so an alias inside its own anchor's collection
    // (which no tree can hold) is not found either.
    const auto found = m_anchors.find(anchorOf(anchor));
    if (found == m_anchors.end()) {
        return parseError();
    }
    const Node& target = found->second;
    if (m_stack.size() + target.height > YAMLSerialization::kMaxDepth) {
        return yamlError(Code::TooDeep, "YAML collections are nested too deeply");
    }
    // Sizes never exceed the input plus this bound, so the sum cannot wrap.
    m_aliasExpansion += target.size;
    if (m_aliasExpansion > YAMLSerialization::kMaxAliasExpansion) {
        return yamlError(Code::AliasExpansionTooLarge, "YAML aliases expand too far");
    }
    return add(target);
}

void Reader::remember(const std::string& anchor, const Node& node) {
    m_anchors.insert_or_assign(anchor, node);
}

Result<JsonArray> Reader::run(std::string_view data) {
    Parser parser;
    if (!parser.initialized()) {
        return yamlError(Code::ParserInitialization, "Error in yaml_parser_initialize(&parser)");
    }
    // libyaml asserts on a null input, which an empty view may hold.
    static constexpr unsigned char kNothing[] = "";
    yaml_parser_set_input_string(
        &parser.get(),
        data.empty() ? kNothing : reinterpret_cast<const unsigned char*>(data.data()), data.size());

    JsonArray documents;
    while (true) {
        const yaml_event_t* event = parser.next();
        if (event == nullptr) {
            if (parser.get().error == YAML_MEMORY_ERROR) {
                return yamlError(Code::OutOfMemory, "Couldn't allocate memory");
            }
            return parseError();
        }
        Result<void> step;
        switch (event->type) {
            case YAML_STREAM_END_EVENT:
                return documents;
            case YAML_DOCUMENT_START_EVENT:
                m_root.reset();
                m_anchors.clear();
                break;
            case YAML_DOCUMENT_END_EVENT:
                if (!m_root || !m_stack.empty()) {
                    return parseError();
                }
                documents.push_back(std::move(*m_root));
                m_root.reset();
                break;
            case YAML_SCALAR_EVENT: {
                const auto& scalar = event->data.scalar;
                Node node{.value = text(scalar.value, scalar.length), .size = 1 + scalar.length};
                if (scalar.anchor != nullptr) {
                    remember(anchorOf(scalar.anchor), node);
                }
                step = add(std::move(node));
                break;
            }
            case YAML_SEQUENCE_START_EVENT:
                step = openCollection(false, event->data.sequence_start.anchor);
                break;
            case YAML_MAPPING_START_EVENT:
                step = openCollection(true, event->data.mapping_start.anchor);
                break;
            case YAML_SEQUENCE_END_EVENT:
            case YAML_MAPPING_END_EVENT:
                step = closeCollection();
                break;
            case YAML_ALIAS_EVENT:
                step = alias(event->data.alias.anchor);
                break;
            case YAML_STREAM_START_EVENT:
                break;
            case YAML_NO_EVENT:
                // Only seen past the end of the stream, which returns above.
                return parseError();
        }
        if (!step) {
            return std::unexpected(std::move(step.error()));
        }
    }
}

}  // namespace

Result<JsonArray> YAMLSerialization::YAMLWithData(std::string_view data, int options) {
    if (options != kYAMLReadOptionStringScalars) {
        return yamlError(Code::UnsupportedOption,
                         "Currently only kYAMLReadOptionStringScalars is supported");
    }
    try {
        return Reader().run(data);
    } catch (const std::bad_alloc&) {
        return yamlError(Code::OutOfMemory, "Couldn't allocate memory");
    }
}

}  // namespace miravel
