#include "store/EntityDescription.h"

#include <algorithm>

namespace miravel {

int EntityDescription::attributeIndex(std::string_view attribute) const {
    for (std::size_t i = 0; i < attributes.size(); ++i) {
        if (attributes[i].name == attribute) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

const AttributeDescription* EntityDescription::attribute(std::string_view name) const {
    int index = attributeIndex(name);
    return index < 0 ? nullptr : &attributes[static_cast<std::size_t>(index)];
}

const RelationshipDescription* EntityDescription::relationship(std::string_view name) const {
    auto it = std::find_if(relationships.begin(), relationships.end(),
                           [&](const RelationshipDescription& r) { return r.name == name; });
    return it == relationships.end() ? nullptr : &*it;
}

ManagedObjectModel::ManagedObjectModel(std::string name, int version,
                                       std::vector<EntityDescription> entities)
    : m_name(std::move(name)), m_version(version), m_entities(std::move(entities)) {}

const EntityDescription* ManagedObjectModel::entity(std::string_view name) const {
    auto it = std::find_if(m_entities.begin(), m_entities.end(),
                           [&](const EntityDescription& e) { return e.name == name; });
    return it == m_entities.end() ? nullptr : &*it;
}

const RelationshipDescription* ManagedObjectModel::inverseOf(
    const EntityDescription&, const RelationshipDescription& relationship) const {
    const EntityDescription* destination = entity(relationship.destination);
    return destination == nullptr ? nullptr : destination->relationship(relationship.inverse);
}

}  // namespace miravel
