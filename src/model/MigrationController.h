#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace miravel {

class MainQueue;

// The progress window of a store conversion and of a restore, without the window: what it
// shows (title, text, bar, image, buttons) as state a front end draws, and the operations
// the application object and the window's buttons call. Runs on the main thread, except
// setProgress(), which any thread may call.
class MigrationController {
public:
    enum class Mode { Conversion, Restore, Error };

    struct View {
        std::string title;
        std::string progressText;
        bool determinate = true;
        bool animating = false;
        bool indicatorVisible = true;
        // 0 to 100, for a determinate bar.
        int progressValue = 0;
        bool cautionImage = false;
        bool buttonsVisible = false;
        bool modal = true;
        bool closed = false;
    };

    static constexpr const char* kWindowTitle = "Miravel Recipe Manager";
    static constexpr const char* kErrorTitle = "Error";
    static constexpr const char* kQuitButton = "Quit";
    static constexpr const char* kSendBugReportButton = "Send Bug Report";
    static constexpr const char* kSupportAddress = "https://miravel.app/support";

    // What the buttons hand to the front end: ending the process, opening an address.
    struct Actions {
        std::function<void(int)> quit;
        std::function<void(const std::string&)> openUrl;
    };

    // `queue` is the main thread's; `changed` is told after every change of the view.
    MigrationController(MainQueue& queue, Actions actions, std::function<void()> changed = {});

    const View& view() const { return m_view; }
    Mode mode() const { return m_mode; }
    const std::string& errorMessage() const { return m_errorMessage; }

    // "Upgrading database... please wait.", a determinate bar.
    void showMigrationState();
    // "Restoring from backup... please wait.", an animated bar with no end.
    void showBackupState();
    // Any thread: hands the fraction to updateProgressBar() on the main thread.
    void setProgress(double fraction);
    // Bar at the fraction (whole percent, rounded), text "Upgrading database... 42% complete".
    void updateProgressBar(double fraction);
    // Error mode: title "Error", the message, caution image, Send Bug Report and Quit.
    void showErrorMessage(const std::string& message);
    // "Migration complete.", then the window closes.
    void finishMigration();
    // "Restore from backup complete." and what became of the library as it was.
    void finishBackup(const std::string& detail = {});
    void finishDialogWithMessage(const std::string& message);
    void closeWindow();
    void quitMiravel();
    void sendBugReport();

    // The percentage as the progress text shows it: 0.425 is "42%" (halves go to even).
    static std::string percentText(double fraction);

private:
    void changed();

    MainQueue& m_queue;
    Actions m_actions;
    std::function<void()> m_changed;
    Mode m_mode = Mode::Conversion;
    View m_view;
    std::string m_errorMessage;
    // Progress posted by the job thread is dropped once the window is gone.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace miravel
