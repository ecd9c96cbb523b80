#include "store/Predicate.h"

#include "lib/Log.h"
#include "store/PredicateEvaluator.h"
#include "store/PredicateNode.h"
#include "store/PredicateParser.h"
#include "store/PredicateSqlCompiler.h"

namespace miravel {

Predicate::Predicate() : m_root(PredicateNode::constant(true)) {}

Predicate::Predicate(std::shared_ptr<const PredicateNode> root) : m_root(std::move(root)) {}

// By value, though only read: a caller's braced `{list}` is then one argument holding the list,
// where a const reference would bind to the list itself and spread it over the format.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
Result<Predicate> Predicate::parse(std::string_view format, ValueList arguments) {
    auto root = PredicateParser::parse(format, arguments);
    if (!root) {
        return std::unexpected(std::move(root.error()));
    }
    return Predicate(std::move(*root));
}

Predicate Predicate::truePredicate() {
    static const Predicate predicate(PredicateNode::constant(true));
    return predicate;
}

Predicate Predicate::fromTrustedFormat(std::string_view format, ValueList arguments) {
    auto parsed = parse(format, std::move(arguments));
    if (!parsed) {
        logLine("The predicate \"{}\" does not parse: {}", format, parsed.error().description);
        return falsePredicate();
    }
    return std::move(*parsed);
}

Predicate Predicate::falsePredicate() {
    static const Predicate predicate(PredicateNode::constant(false));
    return predicate;
}

Predicate Predicate::andPredicate(const std::vector<Predicate>& predicates) {
    std::vector<PredicateNode::Pointer> children;
    children.reserve(predicates.size());
    for (const Predicate& predicate : predicates) {
        children.push_back(predicate.m_root);
    }
    return Predicate(PredicateNode::compound(PredicateNode::Kind::And, std::move(children)));
}

Predicate Predicate::orPredicate(const std::vector<Predicate>& predicates) {
    std::vector<PredicateNode::Pointer> children;
    children.reserve(predicates.size());
    for (const Predicate& predicate : predicates) {
        children.push_back(predicate.m_root);
    }
    return Predicate(PredicateNode::compound(PredicateNode::Kind::Or, std::move(children)));
}

Predicate Predicate::notPredicate(const Predicate& predicate) {
    return Predicate(PredicateNode::negation(predicate.m_root));
}

Result<Predicate> Predicate::withSubstitutionVariables(const PredicateVariables& variables) const {
    auto root = PredicateNode::substituting(m_root, variables);
    if (!root) {
        return std::unexpected(std::move(root.error()));
    }
    return Predicate(std::move(*root));
}

bool Predicate::evaluate(const KeyValueSource& object) const {
    return PredicateEvaluator::evaluate(*m_root, &object);
}

Result<SqlWhere> Predicate::toSql(const ManagedObjectModel& model, const EntityDescription& entity,
                                  std::string_view tableAlias,
                                  const TextSearchIndexes* indexes) const {
    return PredicateSqlCompiler::compile(*m_root, model, entity, tableAlias, indexes);
}

std::string Predicate::description() const {
    return m_root->description();
}

}  // namespace miravel
