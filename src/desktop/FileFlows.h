#pragma once

#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "import/MiravelWindowController.h"

class QWidget;

namespace miravel {
class MainQueue;
}

namespace miravel::desktop {

// The File menu's import, export, backup and restore, bound to the window controller: the
// file dialogs, the confirmations, a progress dialog while the work runs (on a thread of its
// own for import and backup, with Cancel where the work can stop) and the closing alert.
class FileFlows : public QObject {
    Q_OBJECT
public:
    // `restore` hands a confirmed backup to the application object.
    FileFlows(Library& library, QWidget* window,
              std::function<void(const std::filesystem::path&)> restore);
    ~FileFlows() override;

    void importRecipes();
    void exportRecipes();
    void createBackup();
    void restoreBackup();

    // The flows without their file dialogs (the tests, and files dropped on the window).
    void importFile(const std::filesystem::path& path, bool confirm = true);
    void backupTo(const std::filesystem::path& path);
    bool busy() const { return m_worker.joinable(); }
    QProgressDialog* progressDialog() const { return m_progress; }

signals:
    // The work of the thread ended and its alert was shown.
    void finished();

private:
    QProgressDialog* makeProgress(const QString& label, bool cancellable);
    void runInBackground(std::function<AlertText()> work);
    void showAlert(const AlertText& alert);

    MiravelWindowController m_controller;
    QWidget* m_window;
    std::function<void(const std::filesystem::path&)> m_restore;
    QPointer<QProgressDialog> m_progress;
    std::thread m_worker;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_workDone{true};
    MainQueue& m_queue;
};

}  // namespace miravel::desktop
