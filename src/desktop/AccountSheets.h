#pragma once

#include <QDialog>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "sync/SyncController.h"

class QLineEdit;
class QProgressBar;
class QPushButton;

namespace miravel::desktop {

// The login and create-account form, the same in the Cloud Sync pane and in the welcome
// assistant's sheets: the fields, the submit and cancel buttons and the spinner. What pressing
// submit does comes from the screen's controller; a refused check or a failed request shows
// its alert here, a success is handed on with its alert (`succeeded`).
class AccountForm : public QWidget {
    Q_OBJECT
public:
    enum Mode { Login, CreateAccount };
    using Start = std::function<std::optional<AccountAlert>(
        const std::string& email, const std::string& password, const std::string& confirmation,
        AccountFlow::Done done)>;

    AccountForm(Mode mode, Start start, QWidget* parent = nullptr);

    Mode mode() const { return m_mode; }
    QLineEdit* email() const { return m_email; }
    QLineEdit* password() const { return m_password; }
    // Only when creating an account.
    QLineEdit* confirmation() const { return m_confirmation; }
    QPushButton* submitButton() const { return m_submit; }
    QPushButton* cancelButton() const { return m_cancel; }
    bool isBusy() const;

    void submit();
    // Empties the password fields (after a success, or when the form is shown again).
    void clearPasswords();

signals:
    void succeeded(const QString& title, const QString& message);
    void cancelled();

private:
    void setBusy(bool busy);

    Mode m_mode;
    Start m_start;
    QLineEdit* m_email;
    QLineEdit* m_password;
    QLineEdit* m_confirmation = nullptr;
    QPushButton* m_submit;
    QPushButton* m_cancel;
    QProgressBar* m_spinner;
};

// The form as a sheet over the welcome assistant: a success closes the sheet, and then its
// alert is shown.
class AccountSheet : public QDialog {
    Q_OBJECT
public:
    AccountSheet(AccountForm::Mode mode, AccountForm::Start start, QWidget* parent);
    AccountForm& form() const { return *m_form; }

signals:
    void signedIn();

private:
    AccountForm* m_form;
};

// Shows the alert of an account flow (title and text, one "OK").
void presentAccountAlert(QWidget* parent, const AccountAlert& alert, bool failed);

}  // namespace miravel::desktop
