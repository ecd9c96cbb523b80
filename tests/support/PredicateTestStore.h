#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/MiravelObjectModel.h"
#include "store/Database.h"
#include "store/EntityDescription.h"
#include "store/KeyValueSource.h"
#include "store/Predicate.h"
#include "store/PredicateSqlFunctions.h"
#include "store/SqlValue.h"
#include "store/SqlWhere.h"
#include "store/TextSearchIndex.h"

namespace miravel::testing {

// The same objects twice: as rows of a SQLite database laid out the way the store lays out
// its tables, and as plain values behind a KeyValueSource. Predicates must select the same
// objects from both.
class PredicateTestStore {
public:
    using Row = std::map<std::string, Value, std::less<>>;

    explicit PredicateTestStore(const std::string& path = ":memory:")
        : m_model(miravelObjectModel()), m_database(open(path)) {
        registerPredicateSqlFunctions(m_database.rawHandle());
        for (const EntityDescription& entity : m_model.entities()) {
            std::string sql = "CREATE TABLE \"" + entity.name + "\" (\"id\" INTEGER PRIMARY KEY";
            for (const AttributeDescription& attribute : entity.attributes) {
                sql += ", \"" + attribute.name + "\" " + sqlColumnType(attribute.type);
            }
            for (const RelationshipDescription& relationship : entity.relationships) {
                if (!relationship.toMany) {
                    sql += ", \"" + relationship.column + "\" INTEGER";
                } else if (relationship.isManyToMany() &&
                           m_joinTables.insert(relationship.joinTable).second) {
                    execute("CREATE TABLE \"" + relationship.joinTable + "\" (\"" +
                            relationship.joinColumn + "\" INTEGER NOT NULL, \"" +
                            relationship.joinInverseColumn +
                            "\" INTEGER NOT NULL, PRIMARY KEY (\"" + relationship.joinColumn +
                            "\", \"" + relationship.joinInverseColumn + "\"))");
                }
            }
            execute(sql + ")");
        }
        m_indexes = TextSearchIndex::prepare(m_database, m_model, false);
        EXPECT_FALSE(m_indexes.empty());
    }
    PredicateTestStore(const PredicateTestStore&) = delete;
    PredicateTestStore& operator=(const PredicateTestStore&) = delete;

    const ManagedObjectModel& model() const { return m_model; }
    const EntityDescription& entity(std::string_view name) const { return *m_model.entity(name); }

    // `values` holds attributes by name and to-one relationships (ObjectIDs) by name.
    ObjectID insert(std::string_view entityName, std::int64_t id, Row values) {
        const EntityDescription& description = entity(entityName);
        std::string columns = "\"id\"";
        std::string parameters = "?";
        ValueList bindings{Value(id)};
        for (const auto& [key, value] : values) {
            const RelationshipDescription* relationship = description.relationship(key);
            columns += ", \"" + (relationship != nullptr ? relationship->column : key) + "\"";
            parameters += ", ?";
            bindings.push_back(value);
        }
        run("INSERT INTO \"" + description.name + "\" (" + columns + ") VALUES (" + parameters +
                ")",
            bindings);
        m_rows[description.name][id] = std::move(values);
        return ObjectID{&description, id};
    }

    // Adds `to` to the many-to-many relationship `relationship` of `from` (both sides).
    void relate(ObjectID from, std::string_view relationship, ObjectID to) {
        const RelationshipDescription& r = *from.entity->relationship(relationship);
        run("INSERT INTO \"" + r.joinTable + "\" (\"" + r.joinColumn + "\", \"" +
                r.joinInverseColumn + "\") VALUES (?, ?)",
            {Value(from.row), Value(to.row)});
        m_links[r.joinTable].insert(r.joinColumn < r.joinInverseColumn
                                        ? std::pair(from.row, to.row)
                                        : std::pair(to.row, from.row));
    }

    // The ids the compiled predicate selects, or the error text. Selecting through the
    // search indexes and by reading every row must agree too.
    std::pair<std::set<std::int64_t>, std::string> select(std::string_view entityName,
                                                          const Predicate& predicate) const {
        // Rows go in without a save: the index catches up as a save would.
        EXPECT_TRUE(TextSearchIndex::catchUp(m_database, m_model, m_indexes).has_value());
        auto indexed = selectWith(entityName, predicate, &m_indexes);
        auto scanned = selectWith(entityName, predicate, nullptr);
        if (indexed.second.empty() && indexed.first != scanned.first) {
            indexed.second = "the search index selects " + describe(indexed.first) +
                             ", reading every row " + describe(scanned.first);
        }
        return indexed;
    }

    std::size_t count(std::string_view entityName) const {
        auto rows = m_rows.find(entity(entityName).name);
        return rows == m_rows.end() ? 0 : rows->second.size();
    }

    // The ids whose in-memory object the predicate accepts.
    std::set<std::int64_t> evaluate(std::string_view entityName, const Predicate& predicate) const {
        std::set<std::int64_t> ids;
        const EntityDescription& description = entity(entityName);
        if (auto rows = m_rows.find(description.name); rows != m_rows.end()) {
            for (const auto& [id, row] : rows->second) {
                if (predicate.evaluate(Object(*this, description, id))) {
                    ids.insert(id);
                }
            }
        }
        return ids;
    }

    class Object : public KeyValueSource {
    public:
        Object(const PredicateTestStore& store, const EntityDescription& entity, std::int64_t id)
            : m_store(store), m_entity(entity), m_id(id) {}

        Value valueForKeyPath(std::string_view keyPath) const override {
            std::vector<std::string_view> components;
            for (std::size_t start = 0; start <= keyPath.size();) {
                const std::size_t end = std::min(keyPath.find('.', start), keyPath.size());
                components.push_back(keyPath.substr(start, end - start));
                start = end + 1;
            }
            return m_store.valueAt(m_entity, m_id, components, 0);
        }

    private:
        const PredicateTestStore& m_store;
        const EntityDescription& m_entity;
        std::int64_t m_id;
    };

private:
    std::pair<std::set<std::int64_t>, std::string> selectWith(
        std::string_view entityName, const Predicate& predicate,
        const TextSearchIndexes* indexes) const {
        const EntityDescription& description = entity(entityName);
        auto where = predicate.toSql(m_model, description, "t", indexes);
        if (!where) {
            return {{}, "toSql: " + where.error().description};
        }
        const std::string sql =
            "SELECT \"t\".\"id\" FROM \"" + description.name + "\" AS \"t\" WHERE " + where->sql;
        auto statement = m_database.prepare(sql);
        if (!statement) {
            return {{}, "prepare: " + statement.error().description + "\n" + sql};
        }
        if (auto bound = where->bindTo(*statement); !bound) {
            return {{}, "bind: " + bound.error().description};
        }
        std::set<std::int64_t> ids;
        for (;;) {
            auto row = statement->step();
            if (!row) {
                return {ids, "step: " + row.error().description + "\n" + sql};
            }
            if (!*row) {
                return {ids, ""};
            }
            ids.insert(statement->columnInt64(0));
        }
    }

    static std::string describe(const std::set<std::int64_t>& ids) {
        std::string text = "{";
        for (auto id : ids) {
            text += (text.size() > 1 ? ", " : "") + std::to_string(id);
        }
        return text + "}";
    }

    static Database open(const std::string& path) {
        auto opened = Database::open(path, Database::Access::ReadWriteCreate);
        if (!opened) {
            ADD_FAILURE() << "cannot open " << path << ": " << opened.error().description;
            std::abort();
        }
        return std::move(*opened);
    }

    void execute(const std::string& sql) {
        auto executed = m_database.execute(sql);
        EXPECT_TRUE(executed) << executed.error().description << "\n" << sql;
    }

    void run(const std::string& sql, const ValueList& bindings) {
        auto statement = m_database.prepare(sql);
        ASSERT_TRUE(statement) << statement.error().description;
        const SqlWhere where{"", bindings};
        ASSERT_TRUE(where.bindTo(*statement).has_value());
        auto row = statement->step();
        ASSERT_TRUE(row) << row.error().description;
        EXPECT_FALSE(*row);
    }

    const Row* row(const EntityDescription& entity, std::int64_t id) const {
        auto rows = m_rows.find(entity.name);
        if (rows == m_rows.end()) {
            return nullptr;
        }
        auto found = rows->second.find(id);
        return found == rows->second.end() ? nullptr : &found->second;
    }

    bool crossesToMany(const EntityDescription& entity,
                       const std::vector<std::string_view>& components, std::size_t index) const {
        if (index >= components.size()) {
            return false;
        }
        const RelationshipDescription* relationship = entity.relationship(components[index]);
        return relationship != nullptr &&
               (relationship->toMany ||
                crossesToMany(*m_model.entity(relationship->destination), components, index + 1));
    }

    std::vector<std::int64_t> related(const EntityDescription& entity,
                                      const RelationshipDescription& relationship,
                                      std::int64_t id) const {
        std::vector<std::int64_t> ids;
        if (relationship.isManyToMany()) {
            auto links = m_links.find(relationship.joinTable);
            if (links == m_links.end()) {
                return ids;
            }
            const bool ownFirst = relationship.joinColumn < relationship.joinInverseColumn;
            for (const auto& [first, second] : links->second) {
                if ((ownFirst ? first : second) == id) {
                    ids.push_back(ownFirst ? second : first);
                }
            }
            return ids;
        }
        const RelationshipDescription* inverse = m_model.inverseOf(entity, relationship);
        auto rows = m_rows.find(relationship.destination);
        if (rows != m_rows.end()) {
            for (const auto& [otherId, other] : rows->second) {
                auto link = other.find(inverse->name);
                if (link != other.end() && link->second.isObject() &&
                    link->second.asObject().row == id) {
                    ids.push_back(otherId);
                }
            }
        }
        return ids;
    }

    Value valueAt(const EntityDescription& entity, std::int64_t id,
                  const std::vector<std::string_view>& components, std::size_t index) const {
        if (index == components.size()) {
            return Value(ObjectID{&entity, id});
        }
        const Row* values = row(entity, id);
        const std::string_view key = components[index];
        if (entity.attribute(key) != nullptr) {
            auto found = values == nullptr ? Row::const_iterator() : values->find(key);
            return values == nullptr || found == values->end() ? Value() : found->second;
        }
        const RelationshipDescription* relationship = entity.relationship(key);
        if (relationship == nullptr) {
            return Value();
        }
        const EntityDescription& destination = *m_model.entity(relationship->destination);
        if (!relationship->toMany) {
            auto found = values == nullptr ? Row::const_iterator() : values->find(key);
            if (values == nullptr || found == values->end() || !found->second.isObject()) {
                return crossesToMany(destination, components, index + 1) ? Value(ValueList{})
                                                                         : Value();
            }
            return valueAt(destination, found->second.asObject().row, components, index + 1);
        }
        ValueList items;
        for (const std::int64_t relatedId : related(entity, *relationship, id)) {
            items.push_back(valueAt(destination, relatedId, components, index + 1));
        }
        return Value(std::move(items));
    }

    const ManagedObjectModel& m_model;
    TextSearchIndexes m_indexes;
    // Selecting runs statements, which a const store may do.
    mutable Database m_database;
    std::set<std::string> m_joinTables;
    std::map<std::string, std::map<std::int64_t, Row>, std::less<>> m_rows;
    std::map<std::string, std::set<std::pair<std::int64_t, std::int64_t>>, std::less<>> m_links;
};

}  // namespace miravel::testing
