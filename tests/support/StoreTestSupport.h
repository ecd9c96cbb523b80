#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "ingredients/IngredientParser.h"
#include "lib/MainQueue.h"
#include "lib/NotificationCenter.h"
#include "model/ApplicationHooks.h"
#include "model/Library.h"
#include "model/MiravelObjectModel.h"
#include "model/SyncedObject.h"
#include "model/UserSettings.h"
#include "store/ManagedObjectContext.h"
#include "store/PersistentStoreCoordinator.h"
#include "support/TemporaryFolder.h"

namespace miravel::testing {

// The value of an operation that saves; a failed save ends the test program, since every
// later step would only fail after it.
template <typename T>
T succeeded(Result<T> result) {
    if (!result) {
        ADD_FAILURE() << "save failed: " << result.error().description;
        std::abort();
    }
    if constexpr (!std::is_void_v<T>) {
        return std::move(*result);
    }
}

// A library in a temporary folder with its own notification centre, so tests never hear
// each other. The main context belongs to the library (its signed-in flag, its parser) but
// processes its changes only when asked, and background contexts merge only when told.
class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_librarySettings = std::make_unique<UserSettings>(m_folder / "library.json", &m_center);
        m_library = std::make_unique<Library>(m_folder.path(), *m_librarySettings,
                                              IngredientParser::sharedParser(), m_center,
                                              MainQueue::shared());
        auto opened =
            PersistentStoreCoordinator::open(m_folder / "Miravel.sqlite", miravelObjectModel());
        ASSERT_TRUE(opened) << opened.error().description;
        m_coordinator = *opened;
        m_main = std::make_unique<ManagedObjectContext>(m_coordinator, MergePolicy::InMemoryWins,
                                                        &m_center);
        m_main->setOwner(m_library.get());
    }
    void setLoggedIn(bool loggedIn) { m_library->setLoggedIn(loggedIn); }

    std::unique_ptr<ManagedObjectContext> backgroundContext() {
        return std::make_unique<ManagedObjectContext>(m_coordinator, MergePolicy::StoreWins,
                                                      &m_center);
    }
    // A second, independent look at the file, as another run of the program would have.
    std::unique_ptr<ManagedObjectContext> freshContext() {
        auto opened =
            PersistentStoreCoordinator::open(m_folder / "Miravel.sqlite", miravelObjectModel());
        EXPECT_TRUE(opened);
        return std::make_unique<ManagedObjectContext>(*opened, MergePolicy::InMemoryWins,
                                                      &m_center);
    }
    template <typename T>
    std::vector<std::shared_ptr<T>> all(ManagedObjectContext& context,
                                        const std::string& format = "TRUEPREDICATE",
                                        ValueList arguments = {}) {
        auto predicate = Predicate::parse(format, std::move(arguments));
        EXPECT_TRUE(predicate) << format;
        auto objects = context.fetch<T>(*predicate, {SortDescriptor{"uid"}});
        EXPECT_TRUE(objects) << (objects ? "" : objects.error().description);
        return objects ? *objects : std::vector<std::shared_ptr<T>>{};
    }

    TemporaryFolder m_folder;
    NotificationCenter m_center;
    std::unique_ptr<UserSettings> m_librarySettings;
    std::unique_ptr<Library> m_library;
    std::shared_ptr<PersistentStoreCoordinator> m_coordinator;
    std::unique_ptr<ManagedObjectContext> m_main;
};

// Collects the objects-did-change notifications of one context.
class ChangeRecorder {
public:
    ChangeRecorder(NotificationCenter& center, ManagedObjectContext& context)
        : m_observation(center.addObserver(
              kObjectsDidChangeNotification, &context, [this](const Notification& note) {
                  m_changes.push_back(std::any_cast<ObjectsDidChange>(note.userInfo));
              })) {}
    const std::vector<ObjectsDidChange>& changes() const { return m_changes; }
    void clear() { m_changes.clear(); }

private:
    std::vector<ObjectsDidChange> m_changes;
    Observation m_observation;
};

}  // namespace miravel::testing
