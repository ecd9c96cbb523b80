#include "store/PredicateEvaluator.h"

#include <algorithm>

#include "store/PredicateOperators.h"

namespace miravel {
namespace {

using Kind = PredicateExpression::Kind;

Value valueOf(const PredicateExpression& expression, const Value& constant, unsigned folding,
              const KeyValueSource* object) {
    switch (expression.kind) {
        case Kind::Constant:
            return constant;
        case Kind::Variable:
            return Value();
        case Kind::List: {
            ValueList items;
            items.reserve(expression.items.size());
            for (const PredicateExpression& item : expression.items) {
                items.push_back(valueOf(item, PredicateOperators::folded(item.value, folding),
                                        folding, object));
            }
            return Value(std::move(items));
        }
        case Kind::KeyPath:
            break;
    }
    Value value = object == nullptr
                      ? Value()
                      : PredicateOperators::normalized(object->valueForKeyPath(expression.name));
    if (expression.count) {
        // A to-many behind a nil to-one has no objects, so nil counts none.
        const std::int64_t count = value.isList() ? static_cast<std::int64_t>(value.asList().size())
                                   : value.isNull() ? 0
                                                    : 1;
        return Value(count);
    }
    return PredicateOperators::folded(std::move(value), folding);
}

bool isMember(const Value& item, const Value& list, const PredicateNode& node, bool rhsList) {
    if (!list.isList()) {
        return false;
    }
    if (rhsList && node.rhsTexts != nullptr && item.isText()) {
        return node.rhsTexts->contains(item.asText());
    }
    const ValueList& items = list.asList();
    return std::any_of(items.begin(), items.end(), [&](const Value& member) {
        return PredicateOperators::equal(item, member);
    });
}

}  // namespace

bool PredicateEvaluator::test(const PredicateNode& node, const Value& lhs, const Value& rhs) {
    using Op = PredicateOperator;
    const auto texts = [&] { return lhs.isText() && rhs.isText(); };
    switch (node.op) {
        case Op::Equal:
            return PredicateOperators::equal(lhs, rhs);
        case Op::NotEqual:
            return !PredicateOperators::equal(lhs, rhs);
        case Op::Less:
            return PredicateOperators::compare(lhs, rhs) < 0;
        case Op::LessOrEqual:
            return PredicateOperators::compare(lhs, rhs) <= 0;
        case Op::Greater:
            return PredicateOperators::compare(lhs, rhs) > 0;
        case Op::GreaterOrEqual:
            return PredicateOperators::compare(lhs, rhs) >= 0;
        case Op::In:
            return isMember(lhs, rhs, node, node.rhs.kind == Kind::Constant);
        case Op::Contains:
            if (lhs.isList()) {
                return isMember(rhs, lhs, node, false);
            }
            return texts() && PredicateOperators::contains(lhs.asText(), rhs.asText());
        case Op::BeginsWith:
            return texts() && PredicateOperators::beginsWith(lhs.asText(), rhs.asText());
        case Op::EndsWith:
            return texts() && PredicateOperators::endsWith(lhs.asText(), rhs.asText());
        case Op::Like:
            return texts() && PredicateOperators::like(lhs.asText(), rhs.asText());
        case Op::Matches:
            return texts() && PredicateOperators::matches(
                                  lhs.asText(), rhs.asText(),
                                  (node.options & PredicateOperators::kCaseInsensitive) != 0);
    }
    return false;
}

bool PredicateEvaluator::evaluate(const PredicateNode& node, const KeyValueSource* object) {
    using NodeKind = PredicateNode::Kind;
    switch (node.kind) {
        case NodeKind::True:
            return true;
        case NodeKind::False:
            return false;
        case NodeKind::Not:
            return !evaluate(*node.children.front(), object);
        case NodeKind::And:
            return std::all_of(node.children.begin(), node.children.end(),
                               [&](const auto& child) { return evaluate(*child, object); });
        case NodeKind::Or:
            return std::any_of(node.children.begin(), node.children.end(),
                               [&](const auto& child) { return evaluate(*child, object); });
        case NodeKind::Comparison:
            break;
    }
    // Constants are used in place: a list of thousands of uids is not copied per object.
    const unsigned folding = node.foldingOptions();
    Value fetchedLhs;
    Value fetchedRhs;
    if (node.lhs.kind != Kind::Constant) {
        fetchedLhs = valueOf(node.lhs, node.lhsConstant, folding, object);
    }
    if (node.rhs.kind != Kind::Constant) {
        fetchedRhs = valueOf(node.rhs, node.rhsConstant, folding, object);
    }
    const Value& lhs = node.lhs.kind == Kind::Constant ? node.lhsConstant : fetchedLhs;
    const Value& rhs = node.rhs.kind == Kind::Constant ? node.rhsConstant : fetchedRhs;
    if (node.modifier == PredicateModifier::Direct) {
        return test(node, lhs, rhs);
    }
    // A to-many behind a nil to-one holds no objects.
    const ValueList single = lhs.isList() || lhs.isNull() ? ValueList() : ValueList{lhs};
    const ValueList& items = lhs.isList() ? lhs.asList() : single;
    const auto holds = [&](const Value& item) { return test(node, item, rhs); };
    switch (node.modifier) {
        case PredicateModifier::Any:
            return std::any_of(items.begin(), items.end(), holds);
        case PredicateModifier::All:
            return std::all_of(items.begin(), items.end(), holds);
        case PredicateModifier::None:
            return std::none_of(items.begin(), items.end(), holds);
        case PredicateModifier::Direct:
            break;
    }
    return false;
}

}  // namespace miravel
