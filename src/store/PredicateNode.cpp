#include "store/PredicateNode.h"

#include <algorithm>

#include "store/PredicateOperators.h"

namespace miravel {

PredicateNode::Pointer PredicateNode::constant(bool value) {
    auto node = std::make_shared<PredicateNode>();
    node->kind = value ? Kind::True : Kind::False;
    return node;
}

PredicateNode::Pointer PredicateNode::compound(Kind kind, std::vector<Pointer> children) {
    std::vector<Pointer> flat;
    flat.reserve(children.size());
    for (Pointer& child : children) {
        if (child->kind == kind) {
            flat.insert(flat.end(), child->children.begin(), child->children.end());
        } else {
            flat.push_back(std::move(child));
        }
    }
    if (flat.empty()) {
        return constant(kind == Kind::And);
    }
    if (flat.size() == 1) {
        return flat.front();
    }
    auto node = std::make_shared<PredicateNode>();
    node->kind = kind;
    node->children = std::move(flat);
    for (const Pointer& child : node->children) {
        node->depth = std::max(node->depth, child->depth + 1);
    }
    return node;
}

PredicateNode::Pointer PredicateNode::negation(Pointer child) {
    auto node = std::make_shared<PredicateNode>();
    node->kind = Kind::Not;
    node->depth = child->depth + 1;
    node->children.push_back(std::move(child));
    return node;
}

PredicateNode::Pointer PredicateNode::comparison(PredicateModifier modifier,
                                                 PredicateExpression lhs, PredicateOperator op,
                                                 unsigned options, PredicateExpression rhs) {
    auto node = std::make_shared<PredicateNode>();
    node->kind = Kind::Comparison;
    node->modifier = modifier;
    node->lhs = std::move(lhs);
    node->op = op;
    node->options = options;
    node->rhs = std::move(rhs);
    const unsigned folding = node->foldingOptions();
    if (node->lhs.kind == PredicateExpression::Kind::Constant) {
        node->lhsConstant = PredicateOperators::folded(node->lhs.value, folding);
    }
    if (node->rhs.kind == PredicateExpression::Kind::Constant) {
        node->rhsConstant = PredicateOperators::folded(node->rhs.value, folding);
        // Long lists are what IN is used with (thousands of uids); a set keeps each test short.
        if (op == PredicateOperator::In && node->rhsConstant.isList() &&
            node->rhsConstant.asList().size() > 8) {
            auto texts = std::make_shared<std::unordered_set<std::string>>();
            for (const Value& item : node->rhsConstant.asList()) {
                if (item.isText()) {
                    texts->insert(item.asText());
                }
            }
            node->rhsTexts = std::move(texts);
        }
    }
    return node;
}

unsigned PredicateNode::foldingOptions() const {
    return op == PredicateOperator::Matches ? options & PredicateOperators::kDiacriticInsensitive
                                            : options;
}

bool PredicateNode::hasVariables() const {
    if (kind == Kind::Comparison) {
        return lhs.hasVariables() || rhs.hasVariables();
    }
    for (const Pointer& child : children) {
        if (child->hasVariables()) {
            return true;
        }
    }
    return false;
}

Result<PredicateNode::Pointer> PredicateNode::substituting(const Pointer& node,
                                                           const PredicateVariables& variables) {
    if (!node->hasVariables()) {
        return node;
    }
    if (node->kind == Kind::Comparison) {
        auto lhs = node->lhs.substituting(variables);
        if (!lhs) {
            return std::unexpected(std::move(lhs.error()));
        }
        auto rhs = node->rhs.substituting(variables);
        if (!rhs) {
            return std::unexpected(std::move(rhs.error()));
        }
        return comparison(node->modifier, std::move(*lhs), node->op, node->options,
                          std::move(*rhs));
    }
    std::vector<Pointer> children;
    children.reserve(node->children.size());
    for (const Pointer& child : node->children) {
        auto substituted = substituting(child, variables);
        if (!substituted) {
            return substituted;
        }
        children.push_back(std::move(*substituted));
    }
    if (node->kind == Kind::Not) {
        return negation(std::move(children.front()));
    }
    return compound(node->kind, std::move(children));
}

const char* PredicateNode::operatorName(PredicateOperator op) {
    switch (op) {
        case PredicateOperator::Equal:
            return "==";
        case PredicateOperator::NotEqual:
            return "!=";
        case PredicateOperator::Less:
            return "<";
        case PredicateOperator::LessOrEqual:
            return "<=";
        case PredicateOperator::Greater:
            return ">";
        case PredicateOperator::GreaterOrEqual:
            return ">=";
        case PredicateOperator::In:
            return "IN";
        case PredicateOperator::Contains:
            return "CONTAINS";
        case PredicateOperator::BeginsWith:
            return "BEGINSWITH";
        case PredicateOperator::EndsWith:
            return "ENDSWITH";
        case PredicateOperator::Like:
            return "LIKE";
        case PredicateOperator::Matches:
            return "MATCHES";
    }
    return "?";
}

std::string PredicateNode::description() const {
    switch (kind) {
        case Kind::True:
            return "TRUEPREDICATE";
        case Kind::False:
            return "FALSEPREDICATE";
        case Kind::Not: {
            const PredicateNode& child = *children.front();
            const bool bare = child.kind == Kind::True || child.kind == Kind::False;
            return bare ? "NOT " + child.description() : "NOT (" + child.description() + ")";
        }
        case Kind::And:
        case Kind::Or: {
            std::string text;
            for (std::size_t i = 0; i < children.size(); ++i) {
                if (i != 0) {
                    text += kind == Kind::And ? " AND " : " OR ";
                }
                const bool nested = children[i]->kind == Kind::And || children[i]->kind == Kind::Or;
                if (nested) {
                    text += '(';
                }
                text += children[i]->description();
                if (nested) {
                    text += ')';
                }
            }
            return text;
        }
        case Kind::Comparison:
            break;
    }
    std::string text;
    switch (modifier) {
        case PredicateModifier::Any:
            text = "ANY ";
            break;
        case PredicateModifier::All:
            text = "ALL ";
            break;
        case PredicateModifier::None:
            text = "NONE ";
            break;
        case PredicateModifier::Direct:
            break;
    }
    text += lhs.description() + " " + operatorName(op);
    if (options != 0) {
        text += '[';
        if ((options & PredicateOperators::kCaseInsensitive) != 0) {
            text += 'c';
        }
        if ((options & PredicateOperators::kDiacriticInsensitive) != 0) {
            text += 'd';
        }
        text += ']';
    }
    return text + " " + rhs.description();
}

}  // namespace miravel
