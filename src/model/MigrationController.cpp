#include "model/MigrationController.h"

#include <algorithm>
#include <cfenv>
#include <cmath>

#include "lib/MainQueue.h"
#include "lib/StringTable.h"

namespace miravel {

MigrationController::MigrationController(MainQueue& queue, Actions actions,
                                         std::function<void()> changed)
    : m_queue(queue), m_actions(std::move(actions)), m_changed(std::move(changed)) {
    m_view.title = tr(kWindowTitle);
}

void MigrationController::changed() {
    if (m_changed) {
        m_changed();
    }
}

void MigrationController::showMigrationState() {
    m_mode = Mode::Conversion;
    m_view.title = tr(kWindowTitle);
    m_view.progressText = tr("Upgrading database... please wait.");
    m_view.determinate = true;
    m_view.animating = false;
    m_view.indicatorVisible = true;
    m_view.progressValue = 0;
    m_view.cautionImage = false;
    m_view.buttonsVisible = false;
    m_view.modal = true;
    m_view.closed = false;
    changed();
}

void MigrationController::showBackupState() {
    m_mode = Mode::Restore;
    m_view.title = tr(kWindowTitle);
    m_view.progressText = tr("Restoring from backup... please wait.");
    m_view.determinate = false;
    m_view.animating = true;
    m_view.indicatorVisible = true;
    m_view.cautionImage = false;
    m_view.buttonsVisible = false;
    m_view.modal = true;
    m_view.closed = false;
    changed();
}

void MigrationController::setProgress(double fraction) {
    std::weak_ptr<bool> alive = m_alive;
    m_queue.post([this, alive, fraction] {
        if (alive.lock()) {
            updateProgressBar(fraction);
        }
    });
}

std::string MigrationController::percentText(double fraction) {
    if (!std::isfinite(fraction)) {
        fraction = 0;
    }
    // The way a percent formatter rounds: to the nearest whole number, halves to even.
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double percent = std::nearbyint(fraction * 100.0);
    std::fesetround(saved);
    return std::to_string(static_cast<long long>(percent)) + "%";
}

void MigrationController::updateProgressBar(double fraction) {
    if (m_mode == Mode::Error) {
        return;
    }
    if (!std::isfinite(fraction)) {
        fraction = 0;
    }
    fraction = std::clamp(fraction, 0.0, 1.0);
    m_view.determinate = true;
    m_view.progressValue = static_cast<int>(std::lround(fraction * 100.0));
    m_view.progressText = tr("Upgrading database... %@ complete");
    if (auto at = m_view.progressText.find("%@"); at != std::string::npos) {
        m_view.progressText.replace(at, 2, percentText(fraction));
    }
    changed();
}

void MigrationController::showErrorMessage(const std::string& message) {
    m_errorMessage = message;
    m_mode = Mode::Error;
    m_view.title = tr(kErrorTitle);
    finishDialogWithMessage(message);
    m_view.indicatorVisible = false;
    m_view.cautionImage = true;
    m_view.buttonsVisible = true;
    changed();
}

void MigrationController::finishMigration() {
    finishDialogWithMessage(tr("Migration complete."));
    closeWindow();
}

void MigrationController::finishBackup(const std::string& detail) {
    std::string message = tr("Restore from backup complete.");
    if (!detail.empty()) {
        message += " " + detail;
    }
    finishDialogWithMessage(message);
}

void MigrationController::finishDialogWithMessage(const std::string& message) {
    m_view.modal = false;
    m_view.animating = false;
    m_view.progressText = message;
    changed();
}

void MigrationController::closeWindow() {
    m_view.closed = true;
    changed();
}

void MigrationController::quitMiravel() {
    if (m_actions.quit) {
        m_actions.quit(0);
    }
}

void MigrationController::sendBugReport() {
    if (m_actions.openUrl) {
        m_actions.openUrl(kSupportAddress);
    }
}

}  // namespace miravel
