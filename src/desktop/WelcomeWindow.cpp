#include "desktop/WelcomeWindow.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "desktop/AccountSheets.h"
#include "desktop/DesktopApplication.h"
#include "desktop/QtText.h"
#include "lib/StringTable.h"

namespace miravel::desktop {

namespace {

QString t(const char* english) {
    return qs(miravel::tr(english));
}

}  // namespace

WelcomeWindow::WelcomeWindow(DesktopApplication& application, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_application(application),
      m_controller(std::make_unique<WelcomeController>(
          application.library(), application.syncController(), application.service())),
      m_title(new QLabel(this)),
      m_message(new QLabel(this)),
      m_account(new QWidget(this)),
      m_server(new QLineEdit(m_account)),
      m_serverWarning(new QLabel(m_account)),
      m_create(new QPushButton(t("Create Account…"), m_account)),
      m_login(new QPushButton(t("Login…"), m_account)),
      m_back(new QPushButton(t("Back"), this)),
      m_next(new QPushButton(t("Next"), this)) {
    setObjectName("welcomeWindow");
    setWindowTitle(t("Welcome to Miravel"));

    auto* icon = new QLabel(this);
    // The program's icon where the desktop's theme has it (an installed program); no
    // stand-in otherwise.
    const QIcon appIcon = QIcon::fromTheme("app.miravel.Miravel");
    icon->setPixmap(appIcon.pixmap(96, 96));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    icon->setMinimumWidth(120);
    icon->setVisible(!appIcon.isNull());

    QFont heading = m_title->font();
    heading.setPointSizeF(heading.pointSizeF() * 1.6);
    heading.setBold(true);
    m_title->setFont(heading);
    m_title->setObjectName("welcomeTitle");
    m_message->setWordWrap(true);
    m_message->setObjectName("welcomeMessage");

    auto* accountLayout = new QVBoxLayout(m_account);
    accountLayout->setContentsMargins(0, 8, 0, 0);
    auto* serverForm = new QFormLayout;
    m_server->setObjectName("serverAddress");
    m_server->setAccessibleName(t("Server Address"));
    serverForm->addRow(t("Server Address:"), m_server);
    accountLayout->addLayout(serverForm);
    m_serverWarning->setWordWrap(true);
    m_serverWarning->setStyleSheet("color: #b3261e;");
    accountLayout->addWidget(m_serverWarning);
    auto* accountButtons = new QHBoxLayout;
    accountButtons->addWidget(m_create);
    accountButtons->addWidget(m_login);
    accountButtons->addStretch(1);
    accountLayout->addLayout(accountButtons);

    auto* text = new QVBoxLayout;
    text->addWidget(m_title);
    text->addSpacing(6);
    text->addWidget(m_message);
    text->addWidget(m_account);
    text->addStretch(1);
    auto* body = new QHBoxLayout;
    body->addWidget(icon);
    body->addLayout(text, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_back);
    buttons->addWidget(m_next);
    m_next->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->addLayout(body, 1);
    layout->addLayout(buttons);
    resize(600, 360);

    connect(m_back, &QPushButton::clicked, this, [this] {
        m_controller->back();
        showPage();
    });
    connect(m_next, &QPushButton::clicked, this, &WelcomeWindow::nextPressed);
    connect(m_create, &QPushButton::clicked, this, &WelcomeWindow::openCreateAccountSheet);
    connect(m_login, &QPushButton::clicked, this, &WelcomeWindow::openLoginSheet);
    connect(m_server, &QLineEdit::editingFinished, this, [this] {
        m_controller->serviceAddressChanged(ss(m_server->text()));
        showPage();
    });
    showPage();
}

WelcomeWindow::~WelcomeWindow() = default;

void WelcomeWindow::showPage() {
    m_title->setText(qs(m_controller->title()));
    m_message->setText(qs(m_controller->message()));
    const bool accountPage = m_controller->page() == WelcomeController::Page::CloudSync;
    m_account->setVisible(accountPage);
    m_server->setText(qs(m_controller->serviceAddress()));
    const std::string warning = m_controller->serviceAddressWarning();
    m_serverWarning->setText(qs(warning));
    m_serverWarning->setVisible(!warning.empty());
    m_create->setEnabled(!m_controller->isLoggedIn());
    m_login->setEnabled(!m_controller->isLoggedIn());
    m_server->setEnabled(!m_controller->isLoggedIn());
    m_back->setEnabled(m_controller->canGoBack());
    m_next->setText(m_controller->isLastPage() ? t("Done") : t("Next"));
}

void WelcomeWindow::nextPressed() {
    if (m_controller->isLastPage()) {
        close();
        return;
    }
    m_controller->next();
    showPage();
}

AccountSheet* WelcomeWindow::sheet() const {
    // A sheet that closed waits hidden for its deletion.
    for (auto* open : findChildren<AccountSheet*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (open->isVisible()) {
            return open;
        }
    }
    return nullptr;
}

void WelcomeWindow::openLoginSheet() {
    openSheet(true);
}

void WelcomeWindow::openCreateAccountSheet() {
    openSheet(false);
}

void WelcomeWindow::openSheet(bool login) {
    if (sheet() != nullptr) {
        return;
    }
    // The address as typed, even when its field still has the focus.
    m_controller->serviceAddressChanged(ss(m_server->text()));
    AccountForm::Start start;
    if (login) {
        start = [this](const std::string& email, const std::string& password, const std::string&,
                       AccountFlow::Done done) {
            return m_controller->login(email, password, std::move(done));
        };
    } else {
        start = [this](const std::string& email, const std::string& password,
                       const std::string& confirmation, AccountFlow::Done done) {
            return m_controller->createAccount(email, password, confirmation, std::move(done));
        };
    }
    auto* sheet = new AccountSheet(login ? AccountForm::Login : AccountForm::CreateAccount,
                                   std::move(start), this);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    connect(sheet, &AccountSheet::signedIn, this, &WelcomeWindow::showPage);
    sheet->open();
}

void WelcomeWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (!m_dismissed) {
        m_dismissed = true;
        emit dismissed();
    }
}

}  // namespace miravel::desktop
