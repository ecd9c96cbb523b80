// The parser reads text, so it must survive any text; what parses must describe itself in text
// that reads back the same, evaluate, compile, prepare and run, and the store and the
// in-memory evaluator must select the same objects.
#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "model/MiravelObjectModel.h"
#include "store/EntityDescription.h"
#include "store/KeyValueSource.h"
#include "store/Predicate.h"
#include "store/PredicateSqlFunctions.h"
#include "store/SqlWhere.h"
#include "store/TextSearchIndex.h"

using namespace miravel;

namespace {

using Row = std::map<std::string, Value, std::less<>>;

[[noreturn]] void fault(const char* what, std::string_view detail) {
    std::fprintf(stderr, "%s\n%.*s\n", what, static_cast<int>(detail.size()), detail.data());
    std::abort();
}

// A few objects both as rows and in memory, with the store's layout.
class Objects {
public:
    Objects() : m_model(miravelObjectModel()) {
        if (sqlite3_open(":memory:", &m_database) != SQLITE_OK) {
            fault("cannot open the database", "");
        }
        registerPredicateSqlFunctions(m_database);
        for (const EntityDescription& entity : m_model.entities()) {
            std::string sql = "CREATE TABLE \"" + entity.name + "\" (\"id\" INTEGER PRIMARY KEY";
            for (const AttributeDescription& attribute : entity.attributes) {
                const bool text = attribute.type == AttributeType::Text;
                const bool real = attribute.type == AttributeType::Double ||
                                  attribute.type == AttributeType::Date;
                sql += ", \"" + attribute.name + "\" " +
                       (text   ? "TEXT"
                        : real ? "REAL"
                               : "INTEGER");
            }
            for (const RelationshipDescription& relationship : entity.relationships) {
                if (!relationship.toMany) {
                    sql += ", \"" + relationship.column + "\" INTEGER";
                }
            }
            execute(sql + ")");
        }
        execute("CREATE TABLE \"RecipeCategories\" (\"recipe\" INTEGER, \"category\" INTEGER)");
        // Searches through the ingredient index must select what reading every row selects.
        m_indexes = TextSearchIndex::prepare(m_database, m_model, false);
        if (m_indexes.empty()) {
            fault("cannot build the search index", "");
        }

        const Timestamp moment = Timestamp(std::chrono::seconds(1700000000));
        insert("RecipeCategory", 1, {{"name", "Dessert"}, {"orderFlag", 1}});
        insert("RecipeCategory", 2, {{"status", "deleted"}});
        insert("Recipe", 1,
               {{"uid", "R1"},
                {"name",
                 "Cr\xC3\xA8me Br\xC3\xBBl\xC3\xA9"
                 "e"},
                {"ingredients", "cream\nsugar"},
                {"rating", 5},
                {"onFavorites", true},
                {"created", moment}});
        insert("Recipe", 2, {});
        insert("Recipe", 3,
               {{"name", ""},
                {"rating", std::int64_t{9007199254740993}},
                {"onFavorites", false},
                {"source", "a*b?\xFF"}});
        link(1, 1);
        link(1, 2);
        link(3, 2);
        insert("Meal", 1, {{"date", moment}, {"name", "Lunch"}, {"recipe", object("Recipe", 1)}});
        insert("Meal", 2, {{"recipe", object("Recipe", 1)}});
    }

    sqlite3* database() const { return m_database; }
    const ManagedObjectModel& model() const { return m_model; }
    const EntityDescription& recipe() const { return *m_model.entity("Recipe"); }
    const TextSearchIndexes& indexes() const { return m_indexes; }

    class Object : public KeyValueSource {
    public:
        Object(const Objects& objects, std::int64_t id) : m_objects(objects), m_id(id) {}
        Value valueForKeyPath(std::string_view keyPath) const override {
            std::vector<std::string_view> components;
            for (std::size_t start = 0; start <= keyPath.size();) {
                const std::size_t end = std::min(keyPath.find('.', start), keyPath.size());
                components.push_back(keyPath.substr(start, end - start));
                start = end + 1;
            }
            return m_objects.valueAt(m_objects.recipe(), m_id, components, 0);
        }

    private:
        const Objects& m_objects;
        std::int64_t m_id;
    };

    std::set<std::int64_t> recipeIds() const {
        std::set<std::int64_t> ids;
        for (const auto& [id, row] : m_rows.at("Recipe")) {
            ids.insert(id);
        }
        return ids;
    }

private:
    Value object(std::string_view entity, std::int64_t row) const {
        return Value(ObjectID{m_model.entity(entity), row});
    }

    void execute(const std::string& sql) {
        if (sqlite3_exec(m_database, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            fault("setup failed", sql);
        }
    }

    void run(const std::string& sql, const ValueList& values) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(m_database, sql.c_str(), -1, &statement, nullptr);
        if (!SqlWhere{"", values}.bindTo(statement) || sqlite3_step(statement) != SQLITE_DONE) {
            fault("setup failed", sql);
        }
        sqlite3_finalize(statement);
    }

    void insert(std::string_view entityName, std::int64_t id, Row values) {
        const EntityDescription& entity = *m_model.entity(entityName);
        std::string columns = "\"id\"";
        std::string parameters = "?";
        ValueList bindings{Value(id)};
        for (const auto& [key, value] : values) {
            const RelationshipDescription* relationship = entity.relationship(key);
            columns += ", \"" + (relationship != nullptr ? relationship->column : key) + "\"";
            parameters += ", ?";
            bindings.push_back(value);
        }
        run("INSERT INTO \"" + entity.name + "\" (" + columns + ") VALUES (" + parameters + ")",
            bindings);
        m_rows[entity.name][id] = std::move(values);
    }

    void link(std::int64_t recipe, std::int64_t category) {
        run("INSERT INTO \"RecipeCategories\" VALUES (?, ?)", {Value(recipe), Value(category)});
        m_links.insert({recipe, category});
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

    Value valueAt(const EntityDescription& entity, std::int64_t id,
                  const std::vector<std::string_view>& components, std::size_t index) const {
        if (index == components.size()) {
            return Value(ObjectID{&entity, id});
        }
        const Row& row = m_rows.at(entity.name).at(id);
        const std::string_view key = components[index];
        if (entity.attribute(key) != nullptr) {
            auto found = row.find(key);
            return found == row.end() ? Value() : found->second;
        }
        const RelationshipDescription* relationship = entity.relationship(key);
        if (relationship == nullptr) {
            return Value();
        }
        const EntityDescription& destination = *m_model.entity(relationship->destination);
        if (!relationship->toMany) {
            auto found = row.find(key);
            if (found == row.end() || !found->second.isObject()) {
                return crossesToMany(destination, components, index + 1) ? Value(ValueList{})
                                                                         : Value();
            }
            return valueAt(destination, found->second.asObject().row, components, index + 1);
        }
        std::vector<std::int64_t> related;
        if (relationship->isManyToMany()) {
            const bool fromRecipe = entity.name == "Recipe";
            for (const auto& [recipe, category] : m_links) {
                if ((fromRecipe ? recipe : category) == id) {
                    related.push_back(fromRecipe ? category : recipe);
                }
            }
        } else {
            const RelationshipDescription* inverse = m_model.inverseOf(entity, *relationship);
            auto rows = m_rows.find(destination.name);
            for (const auto& [otherId, other] : rows == m_rows.end() ? Rows() : rows->second) {
                auto found = other.find(inverse->name);
                if (found != other.end() && found->second.isObject() &&
                    found->second.asObject().row == id) {
                    related.push_back(otherId);
                }
            }
        }
        ValueList items;
        for (const std::int64_t relatedId : related) {
            items.push_back(valueAt(destination, relatedId, components, index + 1));
        }
        return Value(std::move(items));
    }

    using Rows = std::map<std::int64_t, Row>;

    const ManagedObjectModel& m_model;
    sqlite3* m_database = nullptr;
    TextSearchIndexes m_indexes;
    std::map<std::string, Rows, std::less<>> m_rows;
    std::set<std::pair<std::int64_t, std::int64_t>> m_links;
};

const Objects& objects() {
    static const Objects instance;
    return instance;
}

// Arguments for %@ and %K, taken in turn: values of every kind, and key paths.
ValueList argumentsFor(std::string_view format, bool& objectArgument) {
    const auto& model = miravelObjectModel();
    const ValueList pool = {
        "creme",
        Value(),
        3,
        "name",
        Value(ObjectID{model.entity("RecipeCategory"), 1}),
        ValueList{"R1", 5, Value(), "Dessert"},
        Value(Timestamp(std::chrono::seconds(1700000000))),
        2.5,
        true,
        "categories.name",
        "",
    };
    ValueList arguments;
    objectArgument = false;
    for (std::size_t i = 0; i + 1 < format.size(); ++i) {
        if (format[i] == '%' && (format[i + 1] == '@' || format[i + 1] == 'K')) {
            const Value& value = pool[arguments.size() % pool.size()];
            objectArgument = objectArgument || value.isObject();
            arguments.push_back(value);
        }
    }
    return arguments;
}

std::set<std::int64_t> selectWith(const Predicate& predicate, const TextSearchIndexes* indexes) {
    const Objects& o = objects();
    auto where = predicate.toSql(o.model(), o.recipe(), "t", indexes);
    if (!where) {
        return {-1};
    }
    const std::string sql = "SELECT \"t\".\"id\" FROM \"Recipe\" AS \"t\" WHERE " + where->sql;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(o.database(), sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        // The store refuses a predicate nested deeper than SQLite parses, with an error.
        if (std::string_view(sqlite3_errmsg(o.database())) == "parser stack overflow") {
            return {-1};
        }
        fault(sqlite3_errmsg(o.database()), sql);
    }
    if (!where->bindTo(statement)) {
        fault("cannot bind", sql);
    }
    std::set<std::int64_t> ids;
    int status = SQLITE_ROW;
    while ((status = sqlite3_step(statement)) == SQLITE_ROW) {
        ids.insert(sqlite3_column_int64(statement, 0));
    }
    if (status != SQLITE_DONE) {
        fault(sqlite3_errmsg(o.database()), sql);
    }
    sqlite3_finalize(statement);
    return ids;
}

std::set<std::int64_t> select(const Predicate& predicate) {
    const Objects& o = objects();
    if (!TextSearchIndex::catchUp(o.database(), o.model(), o.indexes())) {
        fault("cannot update the search index", "");
    }
    const std::set<std::int64_t> refused{-1};
    auto indexed = selectWith(predicate, &objects().indexes());
    auto scanned = selectWith(predicate, nullptr);
    if (indexed == refused || scanned == refused) {
        return refused;
    }
    if (indexed != scanned) {
        fault("the search index and the scan disagree", predicate.description());
    }
    return indexed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view format(reinterpret_cast<const char*>(data), size);
    bool objectArgument = false;
    const ValueList arguments = argumentsFor(format, objectArgument);
    auto parsed = Predicate::parse(format, arguments);
    if (!parsed) {
        return 0;
    }
    const std::string description = parsed->description();
    if (!objectArgument) {
        auto reparsed = Predicate::parse(description);
        if (!reparsed) {
            fault("the description does not parse",
                  description + "\n" + reparsed.error().description);
        }
        if (reparsed->description() != description) {
            fault("the description reads back differently", description);
        }
    }
    const Predicate predicate =
        parsed->withSubstitutionVariables({{"NAME", "Dessert"}, {"UID", "R1"}, {"X", 3}})
            .value_or(*parsed);

    std::set<std::int64_t> evaluated;
    for (const std::int64_t id : objects().recipeIds()) {
        if (predicate.evaluate(Objects::Object(objects(), id))) {
            evaluated.insert(id);
        }
    }
    const std::set<std::int64_t> selected = select(predicate);
    if (selected != std::set<std::int64_t>{-1} && selected != evaluated) {
        fault("the store and memory disagree", description);
    }
    return 0;
}
