#include "desktop/Alerts.h"

#include <QPushButton>

#include "desktop/QtText.h"
#include "lib/StringTable.h"

namespace miravel::desktop {

namespace {

int showMessageBox(QWidget* parent, const AlertRequest& request) {
    QMessageBox box(parent);
    box.setIcon(request.icon);
    box.setText(request.text);
    box.setInformativeText(request.informativeText);
    QList<QPushButton*> buttons;
    for (const QString& title : request.buttons) {
        auto role = buttons.isEmpty() ? QMessageBox::AcceptRole : QMessageBox::RejectRole;
        buttons.append(box.addButton(title, role));
    }
    if (!buttons.isEmpty()) {
        box.setDefaultButton(buttons.first());
        box.setEscapeButton(buttons.last());
    }
    box.exec();
    return static_cast<int>(buttons.indexOf(static_cast<QPushButton*>(box.clickedButton())));
}

AlertPresenter& presenter() {
    static AlertPresenter current = showMessageBox;
    return current;
}

}  // namespace

void setAlertPresenter(AlertPresenter replacement) {
    presenter() = replacement ? std::move(replacement) : AlertPresenter(showMessageBox);
}

int presentAlert(QWidget* parent, const AlertRequest& request) {
    return presenter()(parent, request);
}

bool confirmDeletion(QWidget* parent, const QString& message, bool critical) {
    AlertRequest request{critical ? QMessageBox::Critical : QMessageBox::Warning,
                         message,
                         {},
                         {qs(tr("Delete")), qs(tr("Cancel"))}};
    return presentAlert(parent, request) == 0;
}

void presentDatabaseError(QWidget* parent, const Error& error) {
    presentAlert(parent, {QMessageBox::Critical,
                          qs(tr("Database Error")),
                          qs(tr("There was an error saving to the database. Please restart the "
                                "application.")) +
                              "\n(" + qs(error.description) + ")",
                          {qs(tr("OK"))}});
}

void presentErrorAlert(QWidget* parent, const Error& error) {
    presentAlert(
        parent,
        {QMessageBox::Warning, qs(error.description), qs(error.failureReason), {qs(tr("OK"))}});
}

}  // namespace miravel::desktop
