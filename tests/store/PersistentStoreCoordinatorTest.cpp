#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "store/PersistentStoreCoordinator.h"
#include "support/TemporaryFolder.h"

namespace miravel {
namespace {

using T = AttributeType;

RelationshipDescription relationship(std::string name, std::string destination, std::string inverse,
                                     bool toMany) {
    RelationshipDescription description;
    description.column = toMany ? "" : name;
    description.name = std::move(name);
    description.destination = std::move(destination);
    description.inverse = std::move(inverse);
    description.toMany = toMany;
    return description;
}

// Shelves holding jars: the smallest model with a to-one relationship and its inverse.
const ManagedObjectModel& pantryModel(int version = 1) {
    static const auto make = [](int v) {
        return ManagedObjectModel(
            "Pantry", v,
            {{"Shelf", {{"name", T::Text}}, {relationship("jars", "Jar", "shelf", true)}},
             {"Jar",
              {{"label", T::Text}, {"grams", T::Integer}},
              {relationship("shelf", "Shelf", "jars", false)}}});
    };
    static const ManagedObjectModel first = make(1);
    static const ManagedObjectModel second = make(2);
    return version == 1 ? first : second;
}

class PersistentStoreCoordinatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto opened = PersistentStoreCoordinator::open(file(), pantryModel());
        ASSERT_TRUE(opened) << opened.error().description;
        m_coordinator = *opened;
    }
    std::filesystem::path file() const { return m_folder / "Pantry.sqlite"; }
    const EntityDescription& entity(std::string_view name) const {
        return *pantryModel().entity(name);
    }

    testing::TemporaryFolder m_folder;
    std::shared_ptr<PersistentStoreCoordinator> m_coordinator;
};

// Callers compare these codes; they are the numbers the store has always given them.
TEST_F(PersistentStoreCoordinatorTest, failuresKeepTheirCodes) {
    std::ofstream(m_folder / "notes.txt") << "not a database at all\n";
    struct Case {
        const char* failure;
        std::function<Result<void>()> attempt;
        int code;
    };
    auto opening = [](std::filesystem::path file, const ManagedObjectModel& model,
                      bool readOnly = false) {
        return [=, &model]() -> Result<void> {
            auto opened = PersistentStoreCoordinator::open(file, model, {.readOnly = readOnly});
            if (!opened) {
                return std::unexpected(opened.error());
            }
            return {};
        };
    };
    const std::vector<Case> cases = {
        {"not a store", opening(m_folder / "notes.txt", pantryModel()), 26},
        {"another model version", opening(file(), pantryModel(2)), 17},
        {"read-only",
         [&]() -> Result<void> {
             auto opened =
                 PersistentStoreCoordinator::open(file(), pantryModel(), {.readOnly = true});
             if (!opened) {
                 return std::unexpected(opened.error());
             }
             return (*opened)->save({});
         },
         8},
        {"unknown attribute",
         [&]() -> Result<void> {
             auto maximum = m_coordinator->maximum(entity("Jar"), "colour", "", {});
             return maximum ? Result<void>() : std::unexpected(maximum.error());
         },
         1},
        {"not a to-many relationship",
         [&]() -> Result<void> {
             auto ids = m_coordinator->relatedIds(entity("Jar"), entity("Jar").relationships[0], 1);
             return ids ? Result<void>() : std::unexpected(ids.error());
         },
         1},
    };
    for (const Case& c : cases) {
        auto result = c.attempt();
        ASSERT_FALSE(result) << c.failure;
        EXPECT_EQ(result.error().domain, kStoreErrorDomain) << c.failure;
        EXPECT_EQ(result.error().code, c.code) << c.failure << ": " << result.error().description;
    }
}

}  // namespace
}  // namespace miravel
