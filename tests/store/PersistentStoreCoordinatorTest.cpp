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
    std::size_t rows(std::string_view name) {
        auto rows = m_coordinator->fetchRows(entity(name), "", {}, "");
        EXPECT_TRUE(rows);
        return rows ? rows->size() : 0;
    }

    testing::TemporaryFolder m_folder;
    std::shared_ptr<PersistentStoreCoordinator> m_coordinator;
};

// A row short of a column would have its later values written into the wrong columns, or be
// read past its end; one with a value too many would lose it. Either way the save wrote
// something else than asked and said it succeeded.
TEST_F(PersistentStoreCoordinatorTest, aSaveWithARowUnlikeItsEntityWritesNothing) {
    const ObjectID shelf{&entity("Shelf"), 1};
    const std::vector<StoredRow> misshapen = {
        {2, {Value("jam")}, {shelf}},
        {2, {Value("jam"), Value(250), Value("extra")}, {shelf}},
        {2, {Value("jam"), Value(250)}, {}},
    };
    for (const StoredRow& jar : misshapen) {
        PersistentStoreCoordinator::SaveRequest request;
        request.inserts.push_back({&entity("Shelf"), {1, {Value("top")}, {ObjectID{}}}});
        request.inserts.push_back({&entity("Jar"), jar});
        auto saved = m_coordinator->save(request);
        ASSERT_FALSE(saved);
        EXPECT_EQ(saved.error().code, static_cast<int>(StoreErrorCode::InvalidRequest));
        EXPECT_EQ(rows("Shelf"), 0U);
    }

    PersistentStoreCoordinator::SaveRequest update;
    update.updates.push_back({&entity("Jar"), {2, {Value("jam"), Value(250)}, {shelf}}, {2}, {}});
    EXPECT_FALSE(m_coordinator->save(update));

    PersistentStoreCoordinator::SaveRequest fitting;
    fitting.inserts.push_back({&entity("Shelf"), {1, {Value("top")}, {ObjectID{}}}});
    fitting.inserts.push_back({&entity("Jar"), {2, {Value("jam"), Value(250)}, {shelf}}});
    ASSERT_TRUE(m_coordinator->save(fitting));
    auto jar = m_coordinator->fetchRow(entity("Jar"), 2);
    ASSERT_TRUE(jar && *jar);
    EXPECT_EQ((*jar)->values, (ValueList{Value("jam"), Value(250)}));
    EXPECT_EQ((*jar)->toOne.front().row, 1);
}

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
        {"not a database at all", opening(m_folder / "notes.txt", pantryModel()), 11},
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
