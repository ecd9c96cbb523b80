#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>

#include "store/Database.h"
#include "store/PersistentStoreCoordinator.h"
#include "store/StoreRepair.h"
#include "support/TemporaryFolder.h"

namespace miravel {
namespace {

using T = AttributeType;

// Jars with long labels: enough rows that the table spans many pages.
const ManagedObjectModel& jarModel() {
    static const ManagedObjectModel model(
        "Jars", 1, {{"Jar", {{"label", T::Text}, {"grams", T::Integer}, {"filled", T::Date}}, {}}});
    return model;
}

const EntityDescription& jar() {
    return *jarModel().entity("Jar");
}

constexpr int kJars = 2000;

std::string contents(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class StoreFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto opened = PersistentStoreCoordinator::open(file(), jarModel());
        ASSERT_TRUE(opened) << opened.error().description;
        PersistentStoreCoordinator::SaveRequest request;
        for (int i = 1; i <= kJars; ++i) {
            request.inserts.push_back(
                {&jar(),
                 {i,
                  {Value("jar " + std::to_string(i) + std::string(200, 'x')), Value(i), Value()},
                  {}}});
        }
        ASSERT_TRUE((*opened)->save(request));
        // Closing the last connection moves the log into the file.
    }

    std::filesystem::path file() const { return m_folder / "Jars.sqlite"; }

    // Overwrites pages in the middle of the file, as a failing disk would.
    void damage() {
        const auto size = std::filesystem::file_size(file());
        std::fstream out(file(), std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(static_cast<std::streamoff>(size / 2));
        const std::string garbage(3 * 4096, '\xA5');
        out.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    }

    testing::TemporaryFolder m_folder;
};

TEST_F(StoreFileTest, damageIsFoundAndTheStoreIsNeverWrittenTo) {
    damage();
    const std::string damaged = contents(file());
    const int kDamaged = static_cast<int>(StoreErrorCode::Damaged);

    // Found by the check before the first write, whether or not a read met it first.
    auto opened = PersistentStoreCoordinator::open(file(), jarModel());
    ASSERT_TRUE(opened) << opened.error().description;
    auto coordinator = *opened;
    auto id = coordinator->newRowId(jar());
    ASSERT_FALSE(id);
    EXPECT_EQ(id.error().code, kDamaged);
    EXPECT_NE(id.error().description.find("The library is damaged"), std::string::npos);
    PersistentStoreCoordinator::SaveRequest request;
    request.inserts.push_back({&jar(), {kJars + 1, {Value("new"), Value(1), Value()}, {}}});
    auto saved = coordinator->save(request);
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error().code, kDamaged);
    coordinator.reset();
    opened->reset();

    // Found by a read that meets it, and not taken for an empty table.
    auto reopened = PersistentStoreCoordinator::open(file(), jarModel());
    ASSERT_TRUE(reopened);
    auto rows = (*reopened)->fetchRows(jar(), "", {}, "");
    ASSERT_FALSE(rows);
    EXPECT_EQ(rows.error().code, kDamaged);
    EXPECT_TRUE((*reopened)->isDamaged());
    EXPECT_FALSE((*reopened)->save(request));
    reopened->reset();

    EXPECT_EQ(contents(file()), damaged);
}

TEST_F(StoreFileTest, aFileThatIsNoDatabaseIsDamageAndLeftAlone) {
    std::filesystem::remove(file());
    std::ofstream(file()) << "shopping: eggs, flour";
    auto opened = PersistentStoreCoordinator::open(file(), jarModel());
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.error().code, static_cast<int>(StoreErrorCode::Damaged));
    auto repaired = repairStore(file(), jarModel());
    ASSERT_FALSE(repaired);
    EXPECT_NE(repaired.error().description.find("not a database at all"), std::string::npos);
    EXPECT_EQ(contents(file()), "shopping: eggs, flour");
}

TEST_F(StoreFileTest, repairCopiesWhatCanBeReadAndKeepsTheDamagedFile) {
    auto sound = repairStore(file(), jarModel());
    ASSERT_TRUE(sound) << sound.error().description;
    EXPECT_TRUE(sound->wasSound);

    damage();
    const std::string damaged = contents(file());
    auto repaired = repairStore(file(), jarModel());
    ASSERT_TRUE(repaired) << repaired.error().description;
    EXPECT_FALSE(repaired->wasSound);
    EXPECT_EQ(contents(repaired->damagedCopy), damaged);
    std::int64_t recovered = 0;
    for (const auto& [table, rows] : repaired->recovered) {
        if (table == "Jar") {
            recovered = rows;
        }
    }
    // Three pages of some twenty rows each are lost; rows on both sides of them are not.
    EXPECT_GT(recovered, kJars - 200);
    EXPECT_LT(recovered, kJars);

    auto opened = PersistentStoreCoordinator::open(file(), jarModel());
    ASSERT_TRUE(opened) << opened.error().description;
    EXPECT_TRUE((*opened)->checkIntegrity());
    auto rows = (*opened)->fetchRows(jar(), "", {}, "t.id");
    ASSERT_TRUE(rows);
    ASSERT_EQ(static_cast<std::int64_t>(rows->size()), recovered);
    EXPECT_EQ(rows->front().id, 1);
    EXPECT_EQ(rows->back().id, kJars);
    EXPECT_EQ(rows->back().values[1], Value(kJars));
    // New rows get ids past every row the damaged store held, recovered or not.
    auto id = (*opened)->newRowId(jar());
    ASSERT_TRUE(id);
    EXPECT_GT(*id, kJars);
}

TEST_F(StoreFileTest, aReadOnlyStoreIsReadWithoutChangingItsFile) {
    const std::string before = contents(file());
    auto opened = PersistentStoreCoordinator::open(file(), jarModel(), {.readOnly = true});
    ASSERT_TRUE(opened) << opened.error().description;
    auto count = (*opened)->count(jar(), "", {});
    ASSERT_TRUE(count);
    EXPECT_EQ(*count, kJars);
    EXPECT_TRUE((*opened)->checkIntegrity());
    auto id = (*opened)->newRowId(jar());
    ASSERT_FALSE(id);
    EXPECT_EQ(id.error().code, static_cast<int>(StoreErrorCode::ReadOnly));
    opened->reset();
    EXPECT_EQ(contents(file()), before);
}

// A store in a folder nobody may write to has no shared-memory file beside it and cannot get
// one; read as immutable it needs none. Names with URI characters must still find the file.
TEST(DatabaseAccess, anImmutableOpenReadsWithNothingBesideTheFile) {
    testing::TemporaryFolder folder;
    const auto file = folder / "Kitchen ?#%20 café" / "Jars.sqlite";
    std::filesystem::create_directories(file.parent_path());
    {
        auto made = PersistentStoreCoordinator::open(file, jarModel());
        ASSERT_TRUE(made) << made.error().description;
    }
    auto database = Database::open(file, Database::Access::Immutable);
    ASSERT_TRUE(database) << database.error().description;
    auto statement = database->prepare("SELECT count(*) FROM Jar");
    ASSERT_TRUE(statement) << statement.error().description;
    EXPECT_TRUE(statement->step());
    std::filesystem::path shm = file;
    shm += "-shm";
    EXPECT_FALSE(std::filesystem::exists(shm));
    EXPECT_FALSE(database->execute("CREATE TABLE t (x)"));
}

// A moment is kept as REAL seconds since 1970; every year from 1 to 9999 comes back as it went
// in, and a number no moment can hold (another program's) is clamped rather than wrapped.
TEST(StoredDates, everyYearRoundTripsAndOutOfRangeNumbersClamp) {
    for (double seconds : {-62135596800.0, -9223372036.0, 9223372037.0, 253402300799.0, 0.5}) {
        EXPECT_EQ(Value::secondsOf(Value::momentOf(seconds)), seconds);
    }
    EXPECT_GT(Value::momentOf(1e300), Value::momentOf(253402300799.0));
    EXPECT_LT(Value::momentOf(-1e300), Value::momentOf(-62135596800.0));
    EXPECT_EQ(Value::momentOf(std::nan("")), Timestamp{});
}

}  // namespace
}  // namespace miravel
