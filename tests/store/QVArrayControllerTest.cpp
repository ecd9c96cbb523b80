#include "store/QVArrayController.h"

#include <random>
#include <string>
#include <vector>

#include "model/Bookmark.h"
#include "model/Recipe.h"
#include "store/QVSectionInfo.h"
#include "store/SortedInsertion.h"
#include "support/StoreTestSupport.h"

namespace miravel {
namespace {

using testing::StoreTest;

struct Report {
    std::string name;
    int index;
    ChangeType type;
    int newIndex;
    bool operator==(const Report&) const = default;
};

std::ostream& operator<<(std::ostream& stream, const Report& report) {
    return stream << "{" << report.name << " " << report.index << " "
                  << static_cast<int>(report.type) << " " << report.newIndex << "}";
}

class RecordingDelegate : public QVArrayControllerDelegate {
public:
    void controllerWillChangeContent(QVArrayController&) override { ++batches; }
    void controller(QVArrayController&, const std::shared_ptr<ManagedObject>& object, int index,
                    ChangeType type, int newIndex) override {
        reports.push_back(
            {std::static_pointer_cast<Recipe>(object)->name().value_or(""), index, type, newIndex});
    }
    void controllerDidChangeContent(QVArrayController&) override { ++finished; }

    std::vector<Report> reports;
    int batches = 0;
    int finished = 0;
};

class QVArrayControllerTest : public StoreTest {
public:
    void SetUp() override {
        StoreTest::SetUp();
        for (const char* name : {"Bread", "Dal", "Fudge"}) {
            add(name);
        }
        ASSERT_TRUE(m_main->save());
        m_controller = std::make_unique<QVArrayController>(
            FetchRequest{"Recipe",
                         *Predicate::parse(kLiveStatusPredicate),
                         {SortDescriptor::localized("name")},
                         0,
                         true},
            m_main.get());
        ASSERT_TRUE(m_controller->performFetch());
        m_controller->setDelegate(&m_delegate);
    }

    ManagedObjectContext& main() { return *m_main; }
    std::shared_ptr<Recipe> add(const std::string& name) {
        auto recipe = m_main->insert<Recipe>();
        recipe->setName(name);
        return recipe;
    }
    std::shared_ptr<Recipe> at(std::size_t index) {
        return std::static_pointer_cast<Recipe>(m_controller->arrangedObjects().at(index));
    }
    std::vector<std::string> shown() {
        std::vector<std::string> names;
        for (const auto& object : m_controller->arrangedObjects()) {
            names.push_back(std::static_pointer_cast<Recipe>(object)->name().value_or(""));
        }
        return names;
    }

    std::unique_ptr<QVArrayController> m_controller;
    RecordingDelegate m_delegate;
};

TEST_F(QVArrayControllerTest, reportsEachKindOfChangeWithItsIndexes) {
    struct Case {
        const char* what;
        std::function<void(QVArrayControllerTest&)> change;
        std::vector<Report> expected;
        std::vector<std::string> after;
    };
    const Case cases[] = {
        {"a new recipe goes in at its sorted place",
         [](auto& t) { t.add("Cake"); },
         {{"Cake", -1, ChangeType::Insert, 1}},
         {"Bread", "Cake", "Dal", "Fudge"}},
        {"a sort-key change is a move from the old to the new place",
         [](auto& t) { t.at(0)->setName("Gnocchi"); },
         {{"Gnocchi", 0, ChangeType::Move, 2}},
         {"Dal", "Fudge", "Gnocchi"}},
        {"any other attribute is an update where it stands",
         [](auto& t) { t.at(1)->setNotes("spicy"); },
         {{"Dal", 1, ChangeType::Update, -1}},
         {"Bread", "Dal", "Fudge"}},
        {"a tombstone leaves a list of live objects",
         [](auto& t) { t.at(2)->setStatus("deleted"); },
         {{"Fudge", 2, ChangeType::Delete, -1}},
         {"Bread", "Dal"}},
        {"a removed object leaves",
         [](auto& t) { t.main().deleteObject(t.at(0)); },
         {{"Bread", 0, ChangeType::Delete, -1}},
         {"Dal", "Fudge"}},
        {"other entities are not its business",
         [](auto& t) { t.main().template insert<Bookmark>()->setTitle("Soup"); },
         {},
         {"Bread", "Dal", "Fudge"}},
    };
    for (const auto& c : cases) {
        m_main->rollback();
        ASSERT_TRUE(m_controller->performFetch());
        m_delegate = RecordingDelegate();
        c.change(*this);
        m_main->processPendingChanges();
        EXPECT_EQ(m_delegate.reports, c.expected) << c.what;
        EXPECT_EQ(shown(), c.after) << c.what;
        EXPECT_EQ(m_delegate.batches, c.expected.empty() ? 0 : 1) << c.what;
        EXPECT_EQ(m_delegate.finished, m_delegate.batches) << c.what;
    }
}

TEST_F(QVArrayControllerTest, objectsEditedAcrossThePredicateEnterOrLeaveOnce) {
    auto tombstone = add("Curry");
    tombstone->setStatus("deleted");
    ASSERT_TRUE(m_main->save());
    m_delegate.reports.clear();

    tombstone->setStatus("modified");  // edited into the predicate
    m_main->processPendingChanges();
    EXPECT_EQ(m_delegate.reports, (std::vector<Report>{{"Curry", -1, ChangeType::Insert, 1}}));
    m_delegate.reports.clear();

    tombstone->setStatus("deleted");
    tombstone->setName("Zucchini curry");  // out of the predicate and a key change at once
    m_main->processPendingChanges();
    EXPECT_EQ(m_delegate.reports,
              (std::vector<Report>{{"Zucchini curry", 1, ChangeType::Delete, -1}}));
    EXPECT_EQ(shown(), (std::vector<std::string>{"Bread", "Dal", "Fudge"}));
}

TEST_F(QVArrayControllerTest, aNewObjectGoesBeforeItsEquals) {
    auto existing = at(1);
    auto twin = add("Dal");
    m_main->processPendingChanges();
    EXPECT_EQ(m_controller->arrangedObjects()[1], twin);
    EXPECT_EQ(m_controller->arrangedObjects()[2], existing);

    std::vector<int> numbers{1, 3, 3, 5};
    auto byValue = [](int a, int b) { return a - b; };
    EXPECT_EQ(insertSorted(numbers, 3, byValue), 1u);
    EXPECT_EQ(sortedInsertionIndex(numbers, 9, byValue), 5u);
    EXPECT_EQ(sortedInsertionIndex(numbers, 0, byValue), 0u);
}

TEST_F(QVArrayControllerTest, aDetachedControllerHearsNothingAndCatchesUpAfterFetching) {
    m_controller->setManagedObjectContext(nullptr);
    add("Apple pie");
    at(0)->setName("Zebra cake");
    m_main->processPendingChanges();
    EXPECT_TRUE(m_delegate.reports.empty());
    EXPECT_FALSE(m_controller->performFetch());  // no library to ask
    // The objects are the library's own, so the renamed one shows its new name, but nothing
    // was added or moved.
    EXPECT_EQ(shown(), (std::vector<std::string>{"Zebra cake", "Dal", "Fudge"}));

    m_controller->setManagedObjectContext(m_main.get());
    ASSERT_TRUE(m_controller->performFetch());
    EXPECT_EQ(shown(), (std::vector<std::string>{"Apple pie", "Dal", "Fudge", "Zebra cake"}));
    add("Banana bread");
    m_main->processPendingChanges();
    EXPECT_EQ(m_delegate.reports,
              (std::vector<Report>{{"Banana bread", -1, ChangeType::Insert, 1}}));
}

TEST_F(QVArrayControllerTest, userSortKeysReorderAtOnceAndDecideLaterPlaces) {
    at(0)->setRating(5);
    at(1)->setRating(1);
    at(2)->setRating(3);
    m_main->processPendingChanges();
    m_controller->setSortDescriptors({SortDescriptor("rating", false)});
    EXPECT_EQ(shown(), (std::vector<std::string>{"Bread", "Fudge", "Dal"}));
    m_delegate.reports.clear();
    at(2)->setRating(4);  // a key of the user's order: a move
    m_main->processPendingChanges();
    EXPECT_EQ(m_delegate.reports, (std::vector<Report>{{"Dal", 2, ChangeType::Move, 1}}));
    ASSERT_TRUE(m_controller->performFetch());  // fetching drops the user's keys
    EXPECT_TRUE(m_controller->sortDescriptors().empty());
    EXPECT_EQ(shown(), (std::vector<std::string>{"Bread", "Dal", "Fudge"}));
}

TEST_F(QVArrayControllerTest, backgroundSavesReachTheListThroughTheMerge) {
    auto background = backgroundContext();
    ContextDidSave saved;
    auto observation = m_center.addObserver(
        kContextDidSaveNotification, background.get(),
        [&](const Notification& note) { saved = std::any_cast<ContextDidSave>(note.userInfo); });
    auto theirs = all<Recipe>(*background, "name == 'Dal'");
    theirs[0]->setName("Aloo dal");
    background->insert<Recipe>()->setName("Eclair");
    ASSERT_TRUE(background->save());
    m_main->mergeChangesFromContextDidSave(saved);
    EXPECT_EQ(shown(), (std::vector<std::string>{"Aloo dal", "Bread", "Eclair", "Fudge"}));
    EXPECT_EQ(m_delegate.reports, (std::vector<Report>{{"Eclair", -1, ChangeType::Insert, 2},
                                                       {"Aloo dal", 1, ChangeType::Move, 0}}));
}

// Whatever mix of changes arrives in one batch, the list ends as a fresh fetch would be.
TEST_F(QVArrayControllerTest, randomBatchesLeaveTheListEqualToAFreshFetch) {
    m_controller = std::make_unique<QVArrayController>(
        FetchRequest{"Recipe",
                     *Predicate::parse(kLiveStatusPredicate),
                     {SortDescriptor::localized("name"), SortDescriptor("uid")},
                     0,
                     true},
        m_main.get());
    ASSERT_TRUE(m_controller->performFetch());
    std::mt19937 random(2026);
    const char* const names[] = {"apple", "Bread", "cake", "Dal", "eclair", "fudge", "Gnocchi"};
    auto pick = [&](auto& items) { return items[random() % std::size(items)]; };
    for (int batch = 0; batch < 200; ++batch) {
        auto everything = all<Recipe>(*m_main);
        int changes = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < changes; ++i) {
            switch (random() % 5) {
                case 0:
                    add(pick(names));
                    break;
                case 1:
                    if (!everything.empty()) {
                        auto victim = pick(everything);
                        if (!victim->isDeleted()) {
                            m_main->deleteObject(victim);
                        }
                    }
                    break;
                case 2:
                    if (!everything.empty()) {
                        pick(everything)->setName(std::string(pick(names)));
                    }
                    break;
                case 3:
                    if (!everything.empty()) {
                        pick(everything)->setStatus(random() % 2 ? "deleted" : "unmodified");
                    }
                    break;
                default:
                    if (!everything.empty()) {
                        pick(everything)->setNotes(std::to_string(random()));
                    }
            }
        }
        m_main->processPendingChanges();
        auto fresh = m_main->executeFetchRequest(m_controller->fetchRequest());
        ASSERT_TRUE(fresh);
        ASSERT_EQ(m_controller->arrangedObjects(), *fresh) << "batch " << batch;
        if (batch % 20 == 0) {
            ASSERT_TRUE(m_main->save());
        }
    }
}

TEST(QVSectionInfo, sectionsCompareByName) {
    QVSectionInfo dairy{"Dairy", {}};
    QVSectionInfo bakery{"Bakery", {}};
    EXPECT_LT(bakery.compare(dairy), 0);
    EXPECT_GT(dairy.compare(bakery), 0);
    EXPECT_EQ(dairy.compare(QVSectionInfo{"Dairy", {}}), 0);
    EXPECT_EQ(dairy.numberOfObjects(), 0u);
}

}  // namespace
}  // namespace miravel
