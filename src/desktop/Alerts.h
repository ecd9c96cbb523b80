#pragma once

#include <QMessageBox>
#include <QStringList>
#include <functional>

#include "lib/Error.h"

class QWidget;

namespace miravel::desktop {

// One alert or confirmation: the message, the informative text below it and the buttons in
// order (the first is the default).
struct AlertRequest {
    QMessageBox::Icon icon = QMessageBox::Warning;
    QString text;
    QString informativeText;
    QStringList buttons;
};

// Every alert of the program goes through here and answers the index of the button pressed.
// The tests replace the presenter to read the texts and answer without a modal loop.
using AlertPresenter = std::function<int(QWidget* parent, const AlertRequest& request)>;
void setAlertPresenter(AlertPresenter presenter);
int presentAlert(QWidget* parent, const AlertRequest& request);

// Asks with "Delete" and "Cancel"; true for "Delete".
bool confirmDeletion(QWidget* parent, const QString& message, bool critical = false);
// The "Database Error" of a save that failed.
void presentDatabaseError(QWidget* parent, const Error& error);
// An error with its description and reason, one "OK".
void presentErrorAlert(QWidget* parent, const Error& error);

}  // namespace miravel::desktop
