#pragma once

#include <functional>
#include <string>

#include "lib/NotificationCenter.h"

namespace miravel {

class SyncController;
class UserSettings;

// The main window's sync button without the window: while a run is in progress the button
// gives way to a spinning indicator and "Syncing..."; afterwards it comes back with the error
// image when the last run left "SyncError", the plain one otherwise. Main thread only.
class SyncButtonController {
public:
    static constexpr const char* kSyncIcon = "sync_icon";
    static constexpr const char* kSyncIconSelected = "sync_icon_selected";
    static constexpr const char* kSyncErrorIcon = "sync_error_icon";
    static constexpr const char* kSyncErrorIconSelected = "sync_error_icon_selected";
    static constexpr const char* kSyncingText = "Syncing...";

    struct View {
        bool buttonVisible = true;
        bool indicatorVisible = false;  // shown and spinning
        std::string statusText;         // translated; empty while hidden
        std::string image = kSyncIcon;
        std::string pressedImage = kSyncIconSelected;
        bool operator==(const View&) const = default;
    };

    // `changed` is told after every change of the view. Observes the sync notifications of
    // `center` for as long as it lives.
    SyncButtonController(SyncController& sync, UserSettings& settings, NotificationCenter& center,
                         std::function<void()> changed = {});

    const View& view() const { return m_view; }
    // runSync: signed out, the Cloud Sync pane opens; signed in, a sync that alerts on failure.
    void pressed();

private:
    void syncStarted();
    void syncFinished();
    void changed();

    SyncController& m_sync;
    UserSettings& m_settings;
    std::function<void()> m_changed;
    View m_view;
    Observation m_started;
    Observation m_finished;
};

}  // namespace miravel
