#include "store/PredicateSqlCompiler.h"

#include <algorithm>
#include <cmath>

#include "store/Predicate.h"
#include "store/PredicateEvaluator.h"
#include "store/PredicateOperators.h"
#include "store/SqlValue.h"
#include "store/TextSearchIndex.h"

namespace miravel {
namespace {

using Op = PredicateOperator;

enum class Kind { Nil, Number, Text, Date, Object, List, Collection };

// One side of a comparison, as SQL sees it.
struct Operand {
    Kind kind = Kind::Nil;
    bool constant = false;
    Value value;      // constant: as compared (texts folded)
    std::string sql;  // otherwise: the expression, free of parameters
    bool nullable = true;
    std::string entity;  // Object: the entity's name

    // Collection: the related rows, as "FROM from WHERE where", one element each.
    std::string from;
    std::string where;
    Kind elementKind = Kind::Nil;
    std::string elementSql;
    std::string elementEntity;
    bool elementNullable = true;
    // When the collection is a many-to-many of the root row reached in one hop: the join
    // table's column holding the root's id. Membership can then select the root's ids once
    // instead of probing the join table for every row.
    std::string rootIdColumn;

    bool isNil() const { return constant && kind == Kind::Nil; }
};

Kind kindOf(const Value& value) {
    if (value.isNull()) {
        return Kind::Nil;
    }
    if (value.isNumber()) {
        return Kind::Number;
    }
    if (value.isText()) {
        return Kind::Text;
    }
    if (value.isDate()) {
        return Kind::Date;
    }
    if (value.isObject()) {
        return Kind::Object;
    }
    return Kind::List;
}

Operand constantOperand(const Value& value) {
    Operand operand;
    operand.kind = kindOf(value);
    operand.constant = true;
    operand.value = value;
    operand.nullable = value.isNull();
    if (value.isObject() && value.asObject().entity != nullptr) {
        operand.entity = value.asObject().entity->name;
    }
    return operand;
}

Kind kindOf(AttributeType type) {
    switch (type) {
        case AttributeType::Text:
            return Kind::Text;
        case AttributeType::Date:
            return Kind::Date;
        case AttributeType::Integer:
        case AttributeType::Boolean:
        case AttributeType::Double:
            return Kind::Number;
    }
    return Kind::Nil;
}

bool compatible(const Operand& a, const Operand& b) {
    return a.kind == b.kind && (a.kind != Kind::Object || a.entity == b.entity);
}

// Values json_each() hands back unchanged; others are bound one by one.
bool travelsAsJson(const Value& value) {
    if (value.isText()) {
        return value.asText().find('\0') == std::string::npos;
    }
    if (value.isDouble()) {
        const double real = value.numeric();
        return real == std::trunc(real) && std::fabs(real) < 9007199254740992.0;
    }
    return value.isBoolean() || value.isInteger() || value.isObject();
}

Error failure(Predicate::ErrorCode code, std::string description) {
    return Error{kPredicateErrorDomain, static_cast<int>(code), std::move(description), {}};
}

class Compiler {
public:
    Compiler(const ManagedObjectModel& model, const EntityDescription& entity,
             std::string_view tableAlias, const TextSearchIndexes* indexes)
        : m_model(model),
          m_entity(entity),
          m_indexes(indexes),
          m_root(quotedSqlIdentifier(tableAlias.empty() ? std::string_view(entity.name)
                                                        : tableAlias)) {}

    Result<SqlWhere> run(const PredicateNode& root) {
        if (auto done = node(root); !done) {
            return std::unexpected(std::move(done.error()));
        }
        return SqlWhere{std::move(m_sql), std::move(m_bindings)};
    }

private:
    Result<void> node(const PredicateNode& n) {
        switch (n.kind) {
            case PredicateNode::Kind::True:
                m_sql += '1';
                return {};
            case PredicateNode::Kind::False:
                m_sql += '0';
                return {};
            case PredicateNode::Kind::Not: {
                // Conditions are 0 or 1, so two negations cancel; SQLite's parser gives out
                // after some fifty nested NOTs.
                const PredicateNode* inner = n.children.front().get();
                bool negated = true;
                while (inner->kind == PredicateNode::Kind::Not) {
                    inner = inner->children.front().get();
                    negated = !negated;
                }
                m_sql += negated ? "NOT (" : "(";
                auto done = node(*inner);
                m_sql += ')';
                return done;
            }
            case PredicateNode::Kind::And:
                return conjunction(n);
            case PredicateNode::Kind::Or:
                return joined(childrenOf(n), " OR ", 0, n.children.size());
            case PredicateNode::Kind::Comparison:
                return comparison(n);
        }
        return {};
    }

    static std::vector<const PredicateNode*> childrenOf(const PredicateNode& n) {
        std::vector<const PredicateNode*> children;
        for (const auto& child : n.children) {
            children.push_back(child.get());
        }
        return children;
    }

    // Nested in halves: SQLite parses a chain of AND or OR as deep as it is long, and limits
    // the depth of an expression.
    Result<void> joined(const std::vector<const PredicateNode*>& parts, const char* op,
                        std::size_t begin, std::size_t end) {
        m_sql += '(';
        if (end - begin == 1) {
            auto done = node(*parts[begin]);
            m_sql += ')';
            return done;
        }
        const std::size_t middle = begin + (end - begin) / 2;
        if (auto done = joined(parts, op, begin, middle); !done) {
            return done;
        }
        m_sql += op;
        if (auto done = joined(parts, op, middle, end); !done) {
            return done;
        }
        m_sql += ')';
        return {};
    }

    // Searches of one indexed column joined by AND become one query of its index ("chicken"
    // AND "garlic"), which intersects the lists inside the index instead of selecting each
    // word's rows and then matching the two sets row by row.
    Result<void> conjunction(const PredicateNode& n) {
        std::vector<std::pair<std::string, std::string>> searches;  // index, query
        std::vector<const PredicateNode*> rest;
        for (const auto& child : n.children) {
            auto search = indexedSearch(*child);
            if (!search) {
                rest.push_back(child.get());
                continue;
            }
            auto same = std::find_if(searches.begin(), searches.end(),
                                     [&](const auto& s) { return s.first == search->first; });
            if (same == searches.end()) {
                searches.push_back(std::move(*search));
            } else {
                same->second.append(" AND ").append(search->second);
            }
        }
        if (searches.empty()) {
            return joined(rest, " AND ", 0, rest.size());
        }
        m_sql += '(';
        for (std::size_t i = 0; i < searches.size(); ++i) {
            m_sql += i > 0 ? " AND " : "";
            emitIndexedSearch(searches[i].first, std::move(searches[i].second));
        }
        Result<void> done;
        if (!rest.empty()) {
            m_sql += " AND ";
            done = joined(rest, " AND ", 0, rest.size());
        }
        m_sql += ')';
        return done;
    }

    // A folded substring search of an indexed column of the row, which the index can answer:
    // the index's table and its query. The index holds the text folded both ways, so only a
    // search folding both ways can use it.
    std::optional<std::pair<std::string, std::string>> indexedSearch(const PredicateNode& n) {
        constexpr unsigned kFoldsAll =
            PredicateOperators::kCaseInsensitive | PredicateOperators::kDiacriticInsensitive;
        if (m_indexes == nullptr || n.kind != PredicateNode::Kind::Comparison ||
            n.op != Op::Contains || n.modifier != PredicateModifier::Direct ||
            n.lhs.kind != PredicateExpression::Kind::KeyPath || n.lhs.count ||
            n.rhs.kind == PredicateExpression::Kind::KeyPath || !n.rhsConstant.isText() ||
            (n.foldingOptions() & kFoldsAll) != kFoldsAll || n.hasVariables()) {
            return std::nullopt;
        }
        const AttributeDescription* attribute = m_entity.attribute(n.lhs.name);
        if (attribute == nullptr || !isIndexed(*attribute)) {
            return std::nullopt;
        }
        auto query = TextSearchIndex::substringQuery(n.rhsConstant.asText());
        if (!query) {
            return std::nullopt;
        }
        return std::pair(TextSearchIndex::tableName(m_entity, *attribute), std::move(*query));
    }

    void emitIndexedSearch(const std::string& table, std::string query) {
        const std::string index = quotedSqlIdentifier(table);
        m_sql.append("(").append(m_root).append(".\"id\" IN (SELECT rowid FROM ").append(index);
        m_sql.append(" WHERE ").append(index).append(" MATCH ?))");
        m_bindings.emplace_back(std::move(query));
    }

    Result<void> comparison(const PredicateNode& n) {
        if (auto search = indexedSearch(n)) {
            emitIndexedSearch(search->first, std::move(search->second));
            return {};
        }
        if (n.hasVariables()) {
            return std::unexpected(
                failure(Predicate::ErrorCode::UnboundVariable,
                        "Cannot fetch with unsubstituted variables: " + n.description()));
        }
        const bool lhsConstant = n.lhs.kind != PredicateExpression::Kind::KeyPath;
        const bool rhsConstant = n.rhs.kind != PredicateExpression::Kind::KeyPath;
        if (lhsConstant && rhsConstant && n.modifier == PredicateModifier::Direct) {
            m_sql += PredicateEvaluator::evaluate(n, nullptr) ? '1' : '0';
            return {};
        }
        auto lhs = lhsConstant ? Result<Operand>(constantOperand(n.lhsConstant)) : keyPath(n.lhs);
        if (!lhs) {
            return std::unexpected(std::move(lhs.error()));
        }
        auto rhs = rhsConstant ? Result<Operand>(constantOperand(n.rhsConstant)) : keyPath(n.rhs);
        if (!rhs) {
            return std::unexpected(std::move(rhs.error()));
        }
        if (n.modifier == PredicateModifier::Direct) {
            return test(n, *lhs, *rhs);
        }
        if (lhs->kind != Kind::Collection) {
            return std::unexpected(
                failure(Predicate::ErrorCode::Unsupported,
                        "ANY, ALL and NONE need a to-many key path: " + n.description()));
        }
        m_sql += n.modifier == PredicateModifier::Any ? "EXISTS (SELECT 1 FROM "
                                                      : "NOT EXISTS (SELECT 1 FROM ";
        m_sql.append(lhs->from).append(" WHERE ").append(lhs->where).append(" AND ");
        m_sql += n.modifier == PredicateModifier::All ? "NOT (" : "(";
        auto done = test(n, element(*lhs), *rhs);
        m_sql += "))";
        return done;
    }

    Result<void> test(const PredicateNode& n, const Operand& a, const Operand& b) {
        const unsigned folding = n.foldingOptions();
        switch (n.op) {
            case Op::Equal:
            case Op::NotEqual:
            case Op::Less:
            case Op::LessOrEqual:
            case Op::Greater:
            case Op::GreaterOrEqual:
                if (a.kind == Kind::Collection || b.kind == Kind::Collection) {
                    return directCollection(n);
                }
                scalar(n.op, a, b, folding);
                return {};
            case Op::In:
                if (a.kind == Kind::Collection) {
                    return directCollection(n);
                }
                if (b.kind == Kind::Collection) {
                    return membership(n, b, a, folding);
                }
                if (b.constant && b.kind == Kind::List) {
                    listMembership(a, b.value.asList(), folding);
                } else {
                    m_sql += '0';
                }
                return {};
            case Op::Contains:
                if (b.kind == Kind::Collection) {
                    return directCollection(n);
                }
                if (a.kind == Kind::Collection) {
                    return membership(n, a, b, folding);
                }
                if (a.constant && a.kind == Kind::List) {
                    listMembership(b, a.value.asList(), folding);
                    return {};
                }
                break;
            case Op::BeginsWith:
            case Op::EndsWith:
            case Op::Like:
            case Op::Matches:
                if (a.kind == Kind::Collection || b.kind == Kind::Collection) {
                    return directCollection(n);
                }
                break;
        }
        if (a.kind != Kind::Text || b.kind != Kind::Text) {
            m_sql += '0';
            return {};
        }
        if (a.constant && b.constant) {
            m_sql += PredicateEvaluator::test(n, a.value, b.value) ? '1' : '0';
            return {};
        }
        switch (n.op) {
            case Op::Contains:
                m_sql += "miravel_contains(";
                break;
            case Op::BeginsWith:
                m_sql += "miravel_beginswith(";
                break;
            case Op::EndsWith:
                m_sql += "miravel_endswith(";
                break;
            case Op::Like:
                m_sql += "miravel_like(";
                break;
            default:
                m_sql += "miravel_matches(";
                break;
        }
        // The function folds its first argument itself, saving SQLite a copy of every text.
        emit(a, 0);
        m_sql += ", ";
        emit(b, folding);
        m_sql += ", " + std::to_string(a.constant ? 0 : folding);
        if (n.op == Op::Matches) {
            m_sql += (n.options & PredicateOperators::kCaseInsensitive) != 0 ? ", 1" : ", 0";
        }
        m_sql += ')';
        return {};
    }

    // Equality and order between two scalars, at least one of them a column.
    void scalar(Op op, const Operand& a, const Operand& b, unsigned folding) {
        const bool ordering = op != Op::Equal && op != Op::NotEqual;
        if (a.constant && b.constant) {
            PredicateNode n;
            n.op = op;
            m_sql += PredicateEvaluator::test(n, a.value, b.value) ? '1' : '0';
            return;
        }
        if (a.isNil() || b.isNil()) {
            if (ordering) {
                m_sql += '0';
                return;
            }
            m_sql += '(' + (a.isNil() ? b : a).sql;
            m_sql += op == Op::Equal ? " IS NULL)" : " IS NOT NULL)";
            return;
        }
        if (!compatible(a, b) || a.kind == Kind::List) {
            // Values of different kinds never meet, except as nil on both sides.
            const bool bothMaybeNil =
                !a.constant && !b.constant && a.nullable && b.nullable && !ordering;
            if (bothMaybeNil) {
                m_sql += op == Op::Equal
                             ? '(' + a.sql + " IS NULL AND " + b.sql + " IS NULL)"
                             : '(' + a.sql + " IS NOT NULL OR " + b.sql + " IS NOT NULL)";
            } else {
                m_sql += op == Op::NotEqual ? '1' : '0';
            }
            return;
        }
        if (ordering && a.kind == Kind::Object) {
            m_sql += '0';
            return;
        }
        const unsigned textFolding = a.kind == Kind::Text ? folding : 0;
        m_sql += '(';
        if (ordering) {
            for (const Operand* side : {&a, &b}) {
                if (!side->constant && side->nullable) {
                    m_sql.append(side->sql).append(" IS NOT NULL AND ");
                }
            }
        }
        emit(a, textFolding);
        switch (op) {
            case Op::Equal:
                m_sql += " IS ";
                break;
            case Op::NotEqual:
                m_sql += " IS NOT ";
                break;
            case Op::Less:
                m_sql += " < ";
                break;
            case Op::LessOrEqual:
                m_sql += " <= ";
                break;
            case Op::Greater:
                m_sql += " > ";
                break;
            default:
                m_sql += " >= ";
                break;
        }
        emit(b, textFolding);
        m_sql += ')';
    }

    // Whether `item` equals one of the collection's elements.
    Result<void> membership(const PredicateNode& n, const Operand& collection, const Operand& item,
                            unsigned folding) {
        if (item.kind == Kind::Collection) {
            return directCollection(n);
        }
        if (!collection.rootIdColumn.empty() && item.constant) {
            // "%@ in categories": the ids of the recipes filed under it, selected once.
            m_sql.append(m_root).append(".\"id\" IN (SELECT ").append(collection.rootIdColumn);
            m_sql.append(" FROM ").append(collection.from).append(" WHERE ");
            scalar(Op::Equal, element(collection), item, folding);
            m_sql += ')';
            return {};
        }
        m_sql +=
            "EXISTS (SELECT 1 FROM " + collection.from + " WHERE " + collection.where + " AND ";
        scalar(Op::Equal, element(collection), item, folding);
        m_sql += ')';
        return {};
    }

    // Whether the column `item` equals one of a constant list's (already folded) values.
    void listMembership(const Operand& item, const ValueList& values, unsigned folding) {
        bool hasNil = false;
        ValueList candidates;
        for (const Value& value : values) {
            if (value.isNull()) {
                hasNil = true;
            } else if (compatible(item, constantOperand(value))) {
                candidates.push_back(value);
            }
        }
        if (candidates.empty()) {
            m_sql += hasNil ? '(' + item.sql + " IS NULL)" : std::string("0");
            return;
        }
        m_sql += '(';
        if (hasNil) {
            m_sql.append(item.sql).append(" IS NULL OR ");
        } else if (item.nullable) {
            m_sql.append(item.sql).append(" IS NOT NULL AND ");
        }
        const unsigned textFolding = item.kind == Kind::Text ? folding : 0;
        if (candidates.size() <= PredicateSqlCompiler::kInlineListLimit) {
            emit(item, textFolding);
            m_sql += " IN (";
            appendParameters(candidates);
            m_sql += "))";
            return;
        }
        ValueList json;
        ValueList separate;
        for (Value& candidate : candidates) {
            (travelsAsJson(candidate) ? json : separate).push_back(std::move(candidate));
        }
        const bool anyJson = !json.empty();
        m_sql += '(';
        if (anyJson) {
            emit(item, textFolding);
            m_sql += " IN (SELECT value FROM json_each(?))";
            m_bindings.push_back(Value(std::move(json)));
        }
        if (!separate.empty()) {
            if (anyJson) {
                m_sql += " OR ";
            }
            emit(item, textFolding);
            m_sql += " IN (";
            appendParameters(separate);
            m_sql += ')';
        }
        m_sql += "))";
    }

    void appendParameters(ValueList& values) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            m_sql += i == 0 ? "?" : ", ?";
            m_bindings.push_back(std::move(values[i]));
        }
    }

    void emit(const Operand& operand, unsigned folding) {
        if (operand.constant) {
            m_sql += '?';
            m_bindings.push_back(operand.value);
        } else if (folding != 0) {
            m_sql.append("miravel_fold(").append(operand.sql).append(", ");
            m_sql.append(std::to_string(folding)).append(")");
        } else {
            m_sql += operand.sql;
        }
    }

    static Operand element(const Operand& collection) {
        Operand operand;
        operand.kind = collection.elementKind;
        operand.sql = collection.elementSql;
        operand.nullable = collection.elementNullable;
        operand.entity = collection.elementEntity;
        return operand;
    }

    Result<void> directCollection(const PredicateNode& n) {
        return std::unexpected(
            failure(Predicate::ErrorCode::Unsupported,
                    "A to-many key path needs ANY, ALL, NONE, IN, CONTAINS or @count here: " +
                        n.description()));
    }

    bool isIndexed(const AttributeDescription& attribute) const {
        return m_indexes != nullptr &&
               std::find(m_indexes->begin(), m_indexes->end(), &attribute) != m_indexes->end();
    }

    std::string newAlias() { return quotedSqlIdentifier("_p" + std::to_string(++m_aliases)); }

    // Walks the key path through the model. To-one hops become LEFT JOINs (a missing object
    // gives NULL, as nil in memory); the one to-many hop allowed becomes the correlated source
    // of a collection, whose elements are the rows it reaches.
    Result<Operand> keyPath(const PredicateExpression& expression) {
        const std::string& path = expression.name;
        const EntityDescription* entity = &m_entity;
        std::string row = m_root;
        std::string from;
        std::string where;
        bool collection = false;
        Operand result;
        const auto addSource = [&](const std::string& table, const std::string& alias,
                                   const std::string& condition, bool outer) {
            if (from.empty()) {
                from = quotedSqlIdentifier(table) + " AS " + alias;
                where = condition;
            } else {
                from.append(outer ? " LEFT JOIN " : " JOIN ").append(quotedSqlIdentifier(table));
                from.append(" AS ").append(alias).append(" ON ").append(condition);
            }
        };
        const auto unknown = [&](std::string_view component) {
            return std::unexpected(failure(Predicate::ErrorCode::UnknownKey,
                                           entity->name + " has no attribute or relationship '" +
                                               std::string(component) + "' (in key path '" + path +
                                               "')"));
        };
        std::size_t start = 0;
        while (true) {
            const std::size_t end = std::min(path.find('.', start), path.size());
            const std::string_view component = std::string_view(path).substr(start, end - start);
            const bool last = end == path.size();
            start = end + 1;
            if (const AttributeDescription* attribute = entity->attribute(component)) {
                if (!last) {
                    return std::unexpected(
                        failure(Predicate::ErrorCode::UnknownKey,
                                "'" + attribute->name + "' of " + entity->name +
                                    " is an attribute, so nothing can follow it (in key path '" +
                                    path + "')"));
                }
                result.kind = kindOf(attribute->type);
                result.sql = row + '.' + quotedSqlIdentifier(attribute->name);
                break;
            }
            const RelationshipDescription* relationship = entity->relationship(component);
            const EntityDescription* destination =
                relationship == nullptr ? nullptr : m_model.entity(relationship->destination);
            if (destination == nullptr) {
                return unknown(component);
            }
            result.kind = Kind::Object;
            result.entity = destination->name;
            if (!relationship->toMany) {
                const std::string column = row + '.' + quotedSqlIdentifier(relationship->column);
                if (last) {
                    result.sql = column;
                    break;
                }
                const std::string alias = newAlias();
                addSource(destination->name, alias, alias + ".\"id\" = " + column, true);
                row = alias;
                entity = destination;
                continue;
            }
            if (collection) {
                return std::unexpected(failure(
                    Predicate::ErrorCode::Unsupported,
                    "Key path '" + path + "' goes through more than one to-many relationship"));
            }
            collection = true;
            const std::string alias = newAlias();
            if (relationship->isManyToMany()) {
                const bool fromRoot = from.empty() && row == m_root;
                addSource(relationship->joinTable, alias,
                          alias + '.' + quotedSqlIdentifier(relationship->joinColumn) + " = " +
                              row + ".\"id\"",
                          false);
                const std::string related =
                    alias + '.' + quotedSqlIdentifier(relationship->joinInverseColumn);
                if (last) {
                    result.sql = related;
                    result.nullable = false;
                    if (fromRoot) {
                        result.rootIdColumn =
                            alias + '.' + quotedSqlIdentifier(relationship->joinColumn);
                    }
                    break;
                }
                const std::string destinationAlias = newAlias();
                addSource(destination->name, destinationAlias,
                          destinationAlias + ".\"id\" = " + related, false);
                row = destinationAlias;
            } else {
                const RelationshipDescription* inverse = m_model.inverseOf(*entity, *relationship);
                if (inverse == nullptr || inverse->toMany || inverse->column.empty()) {
                    return std::unexpected(failure(Predicate::ErrorCode::Unsupported,
                                                   "Relationship '" + relationship->name + "' of " +
                                                       entity->name +
                                                       " has no to-one inverse to select through"));
                }
                addSource(
                    destination->name, alias,
                    alias + '.' + quotedSqlIdentifier(inverse->column) + " = " + row + ".\"id\"",
                    false);
                row = alias;
                if (last) {
                    result.sql = alias + ".\"id\"";
                    result.nullable = false;
                    break;
                }
            }
            entity = destination;
        }
        if (expression.count) {
            if (!collection) {
                return std::unexpected(
                    failure(Predicate::ErrorCode::Unsupported,
                            "@count needs a to-many key path, not '" + path + "'"));
            }
            Operand count;
            count.kind = Kind::Number;
            count.sql = "(SELECT COUNT(*) FROM " + from + " WHERE " + where + ')';
            count.nullable = false;
            return count;
        }
        if (collection) {
            result.elementKind = result.kind;
            result.elementSql = std::move(result.sql);
            result.elementEntity = std::move(result.entity);
            result.elementNullable = result.nullable;
            result.kind = Kind::Collection;
            result.from = std::move(from);
            result.where = std::move(where);
            result.sql.clear();
            return result;
        }
        if (!from.empty()) {
            result.sql = "(SELECT " + result.sql + " FROM " + from + " WHERE " + where + ')';
            result.nullable = true;
        }
        return result;
    }

    const ManagedObjectModel& m_model;
    const EntityDescription& m_entity;
    const TextSearchIndexes* m_indexes;
    std::string m_root;
    std::string m_sql;
    ValueList m_bindings;
    int m_aliases = 0;
};

}  // namespace

Result<SqlWhere> PredicateSqlCompiler::compile(const PredicateNode& root,
                                               const ManagedObjectModel& model,
                                               const EntityDescription& entity,
                                               std::string_view tableAlias,
                                               const TextSearchIndexes* indexes) {
    return Compiler(model, entity, tableAlias, indexes).run(root);
}

}  // namespace miravel
