#include "model/Library.h"

#include <unistd.h>

#include <system_error>

#include "ingredients/IngredientParser.h"
#include "lib/AtomicFile.h"
#include "lib/MainQueue.h"
#include "model/MiravelObjectModel.h"
#include "model/UserFolders.h"
#include "store/ManagedObject.h"

namespace miravel {

Library::Library(std::filesystem::path filesFolder, UserSettings& settings,
                 const IngredientParser& parser, NotificationCenter& center, MainQueue& queue)
    : m_filesFolder(std::move(filesFolder)),
      m_settings(settings),
      m_parser(parser),
      m_center(center),
      m_queue(queue),
      m_model(&miravelObjectModel()) {}

Library::~Library() = default;

Library* Library::of(const ManagedObjectContext& context) {
    return dynamic_cast<Library*>(context.owner());
}

Library* Library::of(const ManagedObject& object) {
    const ManagedObjectContext* context = object.managedObjectContext();
    return context == nullptr ? nullptr : of(*context);
}

std::filesystem::path Library::storeFile() const {
    return m_filesFolder / kStoreFileName;
}

Result<std::shared_ptr<PersistentStoreCoordinator>> Library::open() {
    if (m_coordinator) {
        return m_coordinator;
    }
    std::error_code error;
    auto status = std::filesystem::status(m_filesFolder, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_directory(status)) {
        return makeError(kStartupErrorDomain, StartupErrorCode::FilesFolderIsAFile,
                         "Expected a folder to store application data, found a file (" +
                             m_filesFolder.string() + ").");
    }
    if (!std::filesystem::exists(status) && !m_readOnly) {
        if (auto created = createFolder(m_filesFolder); !created) {
            return std::unexpected(created.error());
        }
    }
    auto coordinator =
        PersistentStoreCoordinator::open(storeFile(), *m_model, {.readOnly = m_readOnly});
    if (!coordinator) {
        return std::unexpected(coordinator.error());
    }
    m_coordinator = std::move(*coordinator);
    m_mainContext =
        std::make_unique<ManagedObjectContext>(m_coordinator, MergePolicy::InMemoryWins, &m_center);
    m_mainContext->setOwner(this);
    m_mainContext->processChangesOnQueue(&m_queue);
    return m_coordinator;
}

Result<void> Library::close() {
    if (m_coordinator && m_coordinator.use_count() > 2) {
        return makeError(kStoreErrorDomain, StoreErrorCode::InvalidRequest,
                         "The library is still in use by a job that runs in the background.");
    }
    m_mainContext.reset();
    m_coordinator.reset();
    return {};
}

bool Library::isWritable() const {
    // access() answers for this user: root passes the mode bits, but not a read-only mount.
    auto writable = [](const std::filesystem::path& path) {
        return ::access(path.c_str(), W_OK) == 0;
    };
    std::error_code error;
    if (std::filesystem::exists(storeFile(), error)) {
        return writable(storeFile()) && writable(m_filesFolder);
    }
    return !std::filesystem::exists(m_filesFolder, error) || writable(m_filesFolder);
}

std::unique_ptr<BackgroundContext> Library::newBackgroundContext() {
    if (!m_mainContext) {
        return nullptr;
    }
    return std::make_unique<BackgroundContext>(*m_mainContext);
}

const IngredientParser& ingredientParserOf(const ManagedObjectContext& context) {
    const Library* library = Library::of(context);
    return library != nullptr ? library->ingredientParser() : IngredientParser::sharedParser();
}

}  // namespace miravel
