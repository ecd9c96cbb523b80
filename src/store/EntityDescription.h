#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace miravel {

class ManagedObject;

enum class AttributeType { Text, Integer, Boolean, Double, Date };

struct AttributeDescription {
    std::string name;  // also the column name
    AttributeType type;
    // Kept in a trigram index of its folded text (see TextSearchIndex.h).
    bool searchIndexed = false;
};

enum class DeleteRule {
    Nullify,  // the other side forgets the deleted object
    Cascade,  // the related objects are deleted with it
};

// How a relationship is kept in the store:
// - to-one: a column of this entity's table holding the related row (`column`);
// - to-many whose inverse is to-one: the inverse's column in the destination's table;
// - to-many both ways: a join table with one column per side.
struct RelationshipDescription {
    std::string name;
    std::string destination;  // entity name
    std::string inverse;      // relationship name on the destination
    bool toMany = false;
    std::string column;             // to-one: our column
    std::string joinTable;          // many-to-many only
    std::string joinColumn;         // our side's column in the join table
    std::string joinInverseColumn;  // the destination's column in the join table
    DeleteRule deleteRule = DeleteRule::Nullify;

    bool isManyToMany() const { return toMany && !joinTable.empty(); }
};

struct EntityDescription {
    std::string name;  // also the table name
    std::vector<AttributeDescription> attributes;
    std::vector<RelationshipDescription> relationships;
    // Makes a new object of the class that represents the entity; entities without one are
    // plain ManagedObjects. The model that knows the classes sets it.
    std::shared_ptr<ManagedObject> (*makeObject)(const EntityDescription&) = nullptr;

    // Index into `attributes`, or -1.
    int attributeIndex(std::string_view attribute) const;
    const AttributeDescription* attribute(std::string_view name) const;
    const RelationshipDescription* relationship(std::string_view name) const;
};

// The entities of one store and the version of their layout, stamped into the store file so
// that an older layout is recognised and converted.
class ManagedObjectModel {
public:
    ManagedObjectModel(std::string name, int version, std::vector<EntityDescription> entities);

    const std::string& name() const { return m_name; }
    int version() const { return m_version; }
    const std::vector<EntityDescription>& entities() const { return m_entities; }
    const EntityDescription* entity(std::string_view name) const;
    // The other side of a relationship.
    const RelationshipDescription* inverseOf(const EntityDescription& entity,
                                             const RelationshipDescription& relationship) const;

private:
    std::string m_name;
    int m_version;
    std::vector<EntityDescription> m_entities;
};

}  // namespace miravel
