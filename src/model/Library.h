#pragma once

#include <atomic>
#include <filesystem>
#include <memory>

#include "lib/Error.h"
#include "store/BackgroundContext.h"
#include "store/ManagedObjectContext.h"
#include "store/PersistentStoreCoordinator.h"

namespace miravel {

class IngredientParser;
class MainQueue;
class ManagedObject;
class NotificationCenter;
class UserSettings;

// The error texts of the store's start-up.
inline constexpr const char* kStartupErrorDomain = "YOUR_ERROR_DOMAIN";
enum class StartupErrorCode { FilesFolderIsAFile = 101, StoreUnavailable = 9999 };

// One user's library: the store in its files folder with its main context, the settings it
// is shown with, the ingredient parser that reads its lines, and whether its account is
// signed in. Everything the screens, the entities and the background jobs share lives here,
// so two libraries in one process never see each other's changes.
//
// Threads: made, opened and used on the main thread, except isLoggedIn() and
// ingredientParser(), which any thread may call, and newBackgroundContext(), whose context
// belongs to the thread that uses it.
class Library : public ContextOwner {
public:
    // Nothing is opened yet. `center` and `queue` are those of the screens that show the
    // library; the settings and the parser outlive it.
    Library(std::filesystem::path filesFolder, UserSettings& settings,
            const IngredientParser& parser, NotificationCenter& center, MainQueue& queue);
    ~Library() override;
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // The library an object or a context belongs to; null for a bare store.
    static Library* of(const ManagedObjectContext& context);
    static Library* of(const ManagedObject& object);

    const std::filesystem::path& filesFolder() const { return m_filesFolder; }
    std::filesystem::path storeFile() const;

    // Opens the store on first use (making the files folder when it is missing, unless the
    // library is to be opened read-only).
    [[nodiscard]] Result<std::shared_ptr<PersistentStoreCoordinator>> open();
    // Read-only, the store is opened without changing its file in any way; set before open().
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    bool isReadOnly() const { return m_readOnly; }
    // Whether this user may change the library: its store file and the folder that holds
    // the store's journal beside it. A library not made yet counts as writable; making it
    // reports its own failure.
    bool isWritable() const;
    // The main context, after a successful open(); null before.
    ManagedObjectContext* mainContext() const { return m_mainContext.get(); }
    // Closes the store (the main context goes with it), so that its files may be replaced;
    // open() opens it again. Refused while a background job still holds the store.
    [[nodiscard]] Result<void> close();
    // The model the store is opened with: the program's own unless set (before open()).
    void setObjectModel(const ManagedObjectModel& model) { m_model = &model; }
    const ManagedObjectModel& objectModel() const { return *m_model; }
    // A context for a job on another thread whose saves the main context takes in.
    std::unique_ptr<BackgroundContext> newBackgroundContext();

    UserSettings& settings() const { return m_settings; }
    const IngredientParser& ingredientParser() const { return m_parser; }
    NotificationCenter& notificationCenter() const { return m_center; }
    MainQueue& mainQueue() const { return m_queue; }

    // Signed in, deletions keep tombstones for the sync engine; signed out, objects go at once.
    bool isLoggedIn() const { return m_loggedIn.load(); }
    void setLoggedIn(bool loggedIn) { m_loggedIn.store(loggedIn); }

private:
    std::filesystem::path m_filesFolder;
    UserSettings& m_settings;
    const IngredientParser& m_parser;
    NotificationCenter& m_center;
    MainQueue& m_queue;
    std::atomic<bool> m_loggedIn{false};
    bool m_readOnly = false;
    const ManagedObjectModel* m_model;
    std::shared_ptr<PersistentStoreCoordinator> m_coordinator;
    std::unique_ptr<ManagedObjectContext> m_mainContext;
};

// The ingredient parser of the library `context` belongs to; the process's shared parser,
// which holds the same word lists, for a bare store.
const IngredientParser& ingredientParserOf(const ManagedObjectContext& context);

}  // namespace miravel
