#include "store/BackgroundContext.h"

#include <any>

#include "lib/MainQueue.h"

namespace miravel {

BackgroundContext::BackgroundContext(ManagedObjectContext& mainContext)
    : ManagedObjectContext(mainContext.coordinator(), MergePolicy::StoreWins,
                           &mainContext.notificationCenter()) {
    setOwner(mainContext.owner());
    // Delivered on the saving thread, after the store transaction ended, so the main thread
    // can read the store while this one waits.
    m_merge = notificationCenter().addObserver(
        kContextDidSaveNotification, this, [&mainContext](const Notification& note) {
            const auto& saved = std::any_cast<const ContextDidSave&>(note.userInfo);
            auto merge = [&] { mainContext.mergeChangesFromContextDidSave(saved); };
            if (MainQueue* queue = mainContext.processingQueue()) {
                queue->runAndWait(merge);
            } else {
                merge();
            }
        });
}

// The observation ends before the context does, so no save of a dying context is merged.
BackgroundContext::~BackgroundContext() = default;

}  // namespace miravel
