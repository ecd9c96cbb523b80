#include "desktop/AccountSheets.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "desktop/Alerts.h"
#include "desktop/QtText.h"
#include "lib/StringTable.h"

namespace miravel::desktop {

void presentAccountAlert(QWidget* parent, const AccountAlert& alert, bool failed) {
    presentAlert(parent, {failed ? QMessageBox::Warning : QMessageBox::Information,
                          qs(alert.title),
                          qs(alert.message),
                          {qs(miravel::tr("OK"))}});
}

AccountForm::AccountForm(Mode mode, Start start, QWidget* parent)
    : QWidget(parent),
      m_mode(mode),
      m_start(std::move(start)),
      m_email(new QLineEdit(this)),
      m_password(new QLineEdit(this)),
      m_submit(new QPushButton(qs(miravel::tr(mode == Login ? "Login" : "Create Account")), this)),
      m_cancel(new QPushButton(qs(miravel::tr("Cancel")), this)),
      m_spinner(new QProgressBar(this)) {
    setObjectName(mode == Login ? "loginForm" : "createAccountForm");
    auto* form = new QFormLayout;
    m_email->setObjectName("email");
    m_email->setAccessibleName(qs(miravel::tr("Email")));
    m_email->setPlaceholderText("you@example.org");
    m_password->setObjectName("password");
    m_password->setAccessibleName(qs(miravel::tr("Password")));
    m_password->setEchoMode(QLineEdit::Password);
    form->addRow(qs(miravel::tr("Email:")), m_email);
    form->addRow(qs(miravel::tr("Password:")), m_password);
    if (mode == CreateAccount) {
        m_confirmation = new QLineEdit(this);
        m_confirmation->setObjectName("confirmation");
        m_confirmation->setAccessibleName(qs(miravel::tr("Confirm Password")));
        m_confirmation->setEchoMode(QLineEdit::Password);
        form->addRow(qs(miravel::tr("Confirm Password:")), m_confirmation);
    }
    // An indeterminate bar spins while the request is out.
    m_spinner->setRange(0, 0);
    m_spinner->setTextVisible(false);
    m_spinner->setMaximumWidth(80);
    m_spinner->setAccessibleName(qs(miravel::tr("Working")));
    m_spinner->hide();
    m_submit->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_spinner);
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_submit);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(form);
    layout->addLayout(buttons);
    connect(m_submit, &QPushButton::clicked, this, &AccountForm::submit);
    connect(m_cancel, &QPushButton::clicked, this, &AccountForm::cancelled);
    for (QLineEdit* field : {m_email, m_password, m_confirmation}) {
        if (field) {
            connect(field, &QLineEdit::returnPressed, this, &AccountForm::submit);
        }
    }
}

bool AccountForm::isBusy() const {
    return !m_submit->isEnabled();
}

void AccountForm::setBusy(bool busy) {
    m_spinner->setVisible(busy);
    m_submit->setEnabled(!busy);
    m_cancel->setEnabled(!busy);
}

void AccountForm::clearPasswords() {
    m_password->clear();
    if (m_confirmation) {
        m_confirmation->clear();
    }
}

void AccountForm::submit() {
    if (isBusy()) {
        return;
    }
    QPointer<AccountForm> alive(this);
    const std::string confirmation = m_confirmation ? ss(m_confirmation->text()) : std::string();
    auto refused = m_start(ss(m_email->text()), ss(m_password->text()), confirmation,
                           [alive](const AccountAlert& alert, bool ok) {
                               if (!alive) {
                                   return;
                               }
                               alive->setBusy(false);
                               if (!ok) {
                                   presentAccountAlert(alive->window(), alert, true);
                                   return;
                               }
                               alive->clearPasswords();
                               emit alive->succeeded(qs(alert.title), qs(alert.message));
                           });
    if (refused) {
        presentAccountAlert(window(), *refused, true);
        return;
    }
    setBusy(true);
}

AccountSheet::AccountSheet(AccountForm::Mode mode, AccountForm::Start start, QWidget* parent)
    : QDialog(parent), m_form(new AccountForm(mode, std::move(start), this)) {
    setObjectName(mode == AccountForm::Login ? "loginSheet" : "createAccountSheet");
    setWindowTitle(qs(miravel::tr(mode == AccountForm::Login ? "Login" : "Create Account")));
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_form);
    setMinimumWidth(380);
    connect(m_form, &AccountForm::cancelled, this, &QDialog::reject);
    connect(m_form, &AccountForm::succeeded, this,
            [this](const QString& title, const QString& message) {
                QWidget* owner = parentWidget();
                accept();
                presentAccountAlert(owner, {ss(title), ss(message)}, false);
                emit signedIn();
            });
}

}  // namespace miravel::desktop
