#include "sync/SyncButtonController.h"

#include <utility>

#include "lib/StringTable.h"
#include "model/UserSettings.h"
#include "sync/SyncController.h"

namespace miravel {

SyncButtonController::SyncButtonController(SyncController& sync, UserSettings& settings,
                                           NotificationCenter& center,
                                           std::function<void()> changed)
    : m_sync(sync), m_settings(settings), m_changed(std::move(changed)) {
    m_started = center.addObserver(kSyncStartedNotification, nullptr,
                                   [this](const Notification&) { syncStarted(); });
    m_finished = center.addObserver(kSyncFinishedNotification, nullptr,
                                    [this](const Notification&) { syncFinished(); });
    // A window made while a run is in progress shows it; otherwise the last run's outcome.
    if (m_sync.isSyncing()) {
        syncStarted();
    } else {
        syncFinished();
    }
}

void SyncButtonController::pressed() {
    m_sync.runSyncButton();
}

void SyncButtonController::syncStarted() {
    m_view.buttonVisible = false;
    m_view.indicatorVisible = true;
    m_view.statusText = tr(kSyncingText);
    changed();
}

void SyncButtonController::syncFinished() {
    const bool failed = m_settings.string(kSyncErrorKey).has_value();
    m_view.buttonVisible = true;
    m_view.indicatorVisible = false;
    m_view.statusText.clear();
    m_view.image = failed ? kSyncErrorIcon : kSyncIcon;
    m_view.pressedImage = failed ? kSyncErrorIconSelected : kSyncIconSelected;
    changed();
}

void SyncButtonController::changed() {
    if (m_changed) {
        m_changed();
    }
}

}  // namespace miravel
