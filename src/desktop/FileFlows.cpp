#include "desktop/FileFlows.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QProgressDialog>
#include <QPushButton>

#include "desktop/Alerts.h"
#include "desktop/QtText.h"
#include "lib/MainQueue.h"
#include "lib/StringTable.h"
#include "model/Library.h"

namespace miravel::desktop {

namespace {

QString filterFor(const QString& title, const auto& extensions) {
    QStringList patterns;
    for (const auto& extension : extensions) {
        patterns << "*." + qs(std::string(extension));
    }
    return title + " (" + patterns.join(' ') + ")";
}

}  // namespace

FileFlows::FileFlows(Library& library, QWidget* window,
                     std::function<void(const std::filesystem::path&)> restore)
    : QObject(window),
      m_controller(library),
      m_window(window),
      m_restore(std::move(restore)),
      m_queue(library.mainQueue()) {}

FileFlows::~FileFlows() {
    // A job's save waits for the main queue to take it in: keep the queue running until the
    // job has seen the cancel and ended.
    m_cancel = true;
    while (!m_workDone) {
        m_queue.processPending();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

void FileFlows::showAlert(const AlertText& alert) {
    presentAlert(m_window, {QMessageBox::Information,
                            qs(miravel::tr(alert.title)),
                            qs(alert.message),
                            {qs(miravel::tr("OK"))}});
}

QProgressDialog* FileFlows::makeProgress(const QString& label, bool cancellable) {
    auto* dialog = new QProgressDialog(label, cancellable ? qs(miravel::tr("Cancel")) : QString(),
                                       0, 1000, m_window);
    dialog->setObjectName("progressDialog");
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setMinimumDuration(0);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setValue(0);
    if (cancellable) {
        connect(dialog, &QProgressDialog::canceled, this, [this] { m_cancel = true; });
    }
    dialog->show();
    m_progress = dialog;
    return dialog;
}

// The thread's result comes back through the event loop; the main queue keeps running
// meanwhile, so the importer's saves reach the list as they happen.
void FileFlows::runInBackground(std::function<AlertText()> work) {
    if (m_worker.joinable()) {
        m_worker.join();
    }
    m_cancel = false;
    m_workDone = false;
    m_worker = std::thread([this, work = std::move(work)] {
        AlertText alert = work();
        m_workDone = true;
        QMetaObject::invokeMethod(this, [this, alert] {
            if (m_worker.joinable()) {
                m_worker.join();
            }
            if (m_progress) {
                m_progress->close();
                m_progress->deleteLater();
            }
            showAlert(alert);
            emit finished();
        });
    });
}

void FileFlows::importRecipes() {
    QString file =
        QFileDialog::getOpenFileName(m_window, qs(miravel::tr("Import Recipes")), {},
                                     filterFor(qs(miravel::tr("Recipe files")),
                                               MiravelWindowController::importChooserExtensions()));
    if (!file.isEmpty()) {
        importFile(fspath(file));
    }
}

void FileFlows::importFile(const std::filesystem::path& path, bool confirm) {
    if (busy()) {
        return;
    }
    if (confirm) {
        AlertText question = MiravelWindowController::importConfirmation();
        int answer =
            presentAlert(m_window, {QMessageBox::Question,
                                    qs(miravel::tr(question.title)),
                                    qs(miravel::tr(question.message)),
                                    {qs(miravel::tr(MiravelWindowController::kImportConfirmButton)),
                                     qs(miravel::tr("Cancel"))}});
        if (answer != 0) {
            return;
        }
    }
    QPointer<QProgressDialog> dialog =
        makeProgress(qs(miravel::tr(MiravelWindowController::kImportingLabel)), true);
    runInBackground([this, path, dialog] {
        auto run = m_controller.performImport(
            path,
            [this, dialog](const ImportProgress& progress) {
                int value = progress.bytesTotal == 0
                                ? 0
                                : static_cast<int>(1000 * progress.bytesRead / progress.bytesTotal);
                QMetaObject::invokeMethod(this, [dialog, value, done = progress.recipesDone] {
                    if (dialog) {
                        dialog->setValue(value);
                        dialog->setLabelText(qs(miravel::tr("Importing Recipes...")) + " " +
                                             QString::number(done));
                    }
                });
            },
            &m_cancel);
        return MiravelWindowController::importAlert(run.outcome);
    });
}

void FileFlows::exportRecipes() {
    QDialog choose(m_window);
    choose.setWindowTitle(qs(miravel::tr("Export Recipes")));
    auto* form = new QFormLayout(&choose);
    auto* format = new QComboBox(&choose);
    format->addItems({qs(miravel::tr("Web Page (HTML)")), qs(miravel::tr("Miravel Recipes"))});
    format->setAccessibleName(qs(miravel::tr("Format")));
    auto* selection = new QComboBox(&choose);
    selection->setAccessibleName(qs(miravel::tr("Recipes")));
    for (const auto& name : m_controller.populateCategoriesForExportView()) {
        selection->addItem(qs(name));
    }
    form->addRow(qs(miravel::tr("Format")), format);
    form->addRow(qs(miravel::tr("Recipes")), selection);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &choose);
    buttons->button(QDialogButtonBox::Ok)->setText(qs(miravel::tr("Export")));
    connect(buttons, &QDialogButtonBox::accepted, &choose, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &choose, &QDialog::reject);
    form->addRow(buttons);
    if (choose.exec() != QDialog::Accepted) {
        return;
    }
    auto kind = static_cast<MiravelWindowController::ExportFormat>(format->currentIndex());
    auto chosen = static_cast<std::size_t>(selection->currentIndex());
    QString file = QFileDialog::getSaveFileName(
        m_window, qs(miravel::tr("Export Recipes")),
        qs(MiravelWindowController::exportFileName(ss(selection->currentText()), kind)));
    if (file.isEmpty()) {
        return;
    }
    // Export reads the main context's recipes, so it runs here; the dialog is redrawn as
    // each recipe is written.
    QProgressDialog* dialog =
        makeProgress(qs(miravel::tr(MiravelWindowController::kExportingLabel)), false);
    std::size_t total = std::max<std::size_t>(1, m_controller.fetchRecipesForExport(chosen).size());
    dialog->setMaximum(static_cast<int>(total));
    AlertText alert = m_controller.exportRecipes(
        kind, chosen, fspath(file),
        [dialog](std::size_t done) { dialog->setValue(static_cast<int>(done)); });
    dialog->close();
    dialog->deleteLater();
    showAlert(alert);
}

void FileFlows::createBackup() {
    auto offered = MiravelWindowController::createBackup();
    QString file = QFileDialog::getSaveFileName(
        m_window, qs(miravel::tr("Create Backup")), qs(offered.fileName),
        filterFor(qs(miravel::tr("Miravel Backup")), offered.allowedTypes));
    if (!file.isEmpty()) {
        backupTo(fspath(file));
    }
}

void FileFlows::backupTo(const std::filesystem::path& path) {
    if (busy()) {
        return;
    }
    QPointer<QProgressDialog> dialog =
        makeProgress(qs(miravel::tr(MiravelWindowController::kCreatingBackupLabel)), false);
    runInBackground([this, path, dialog] {
        return m_controller.createBackupInBackgroundThread(path, [this, dialog](double fraction) {
            QMetaObject::invokeMethod(this, [dialog, fraction] {
                if (dialog) {
                    dialog->setValue(static_cast<int>(fraction * 1000));
                }
            });
        });
    });
}

void FileFlows::restoreBackup() {
    auto offered = MiravelWindowController::restoreBackup();
    QString file = QFileDialog::getOpenFileName(
        m_window, qs(miravel::tr("Restore Backup")),
        QString::fromStdString(m_controller.restoreBackupFolder().string()),
        filterFor(qs(miravel::tr("Miravel Backup")), offered.allowedTypes));
    if (file.isEmpty()) {
        return;
    }
    AlertText question = MiravelWindowController::confirmRestoreBackup();
    int answer =
        presentAlert(m_window, {QMessageBox::Warning,
                                qs(miravel::tr(question.title)),
                                qs(miravel::tr(question.message)),
                                {qs(miravel::tr(MiravelWindowController::kRestoreButton)),
                                 qs(miravel::tr(MiravelWindowController::kCancelButton))}});
    if (answer == 0 && m_restore) {
        m_restore(fspath(file));
    }
}

}  // namespace miravel::desktop
