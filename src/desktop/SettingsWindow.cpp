#include "desktop/SettingsWindow.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolBar>
#include <QVBoxLayout>

#include "desktop/AccountSheets.h"
#include "desktop/Alerts.h"
#include "desktop/CategoryColumn.h"
#include "desktop/DesktopApplication.h"
#include "desktop/GroceriesPane.h"
#include "desktop/MainWindow.h"
#include "desktop/QtText.h"
#include "desktop/RecipesPane.h"
#include "grocery/GroceryListController.h"
#include "lib/StringTable.h"
#include "library/CategoriesController.h"
#include "model/MiravelAppDelegate.h"

namespace miravel::desktop {

namespace {

QString t(const char* english) {
    return qs(miravel::tr(english));
}

// A pane's content, kept to a readable width at the top of the window.
QWidget* paneOf(QLayout* content, QWidget* parent) {
    auto* pane = new QWidget(parent);
    auto* outer = new QVBoxLayout(pane);
    outer->addLayout(content);
    outer->addStretch(1);
    return pane;
}

QLabel* note(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont small = label->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    label->setFont(small);
    return label;
}

}  // namespace

SettingsWindow::SettingsWindow(DesktopApplication& application, QWidget* parent)
    : QWidget(parent, Qt::Window), m_application(application) {
    setObjectName("settingsWindow");
    setAttribute(Qt::WA_DeleteOnClose, false);
    m_controller =
        std::make_unique<SettingsController>(application.library(), application.syncController(),
                                             application.service(), application.keychain(), this);

    auto* toolbar = new QToolBar(this);
    toolbar->setObjectName("settingsToolbar");
    toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar->setIconSize(QSize(32, 32));
    auto* group = new QActionGroup(this);
    const char* icons[] = {"preferences-system", "network-server", "view-list-details"};
    m_panes = new QStackedWidget(this);
    m_panes->addWidget(makeGeneralPane());
    m_panes->addWidget(makeCloudSyncPane());
    m_panes->addWidget(makeGroceryListPane());
    const auto& identifiers = SettingsController::paneIdentifiers();
    for (int pane = 0; pane < 3; ++pane) {
        const std::string& identifier = identifiers[static_cast<std::size_t>(pane)];
        auto* item = toolbar->addAction(QIcon::fromTheme(icons[pane]),
                                        qs(SettingsController::paneLabel(identifier)));
        item->setObjectName(qs(identifier));
        item->setCheckable(true);
        group->addAction(item);
        m_toolbarItems[pane] = item;
        connect(item, &QAction::triggered, this, [this, identifier] {
            saveSettings();
            m_controller->tabChanged(identifier);
            paneShown();
        });
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolbar);
    auto* body = new QVBoxLayout;
    body->setContentsMargins(16, 12, 16, 16);
    body->addWidget(m_panes);
    layout->addLayout(body);
    resize(560, 470);
    paneShown();
    cloudSyncChanged();
}

SettingsWindow::~SettingsWindow() {
    m_controller->setDelegate(nullptr);
}

void SettingsWindow::showPane(int pane) {
    saveSettings();
    m_controller->showPane(pane);
    reloadControls();
    paneShown();
}

void SettingsWindow::reloadControls() {
    // The window stays open between showings; a setting changed meanwhile (by the command
    // line, by the welcome assistant) shows as it is now.
    const std::pair<QComboBox*, std::size_t> menus[] = {
        {m_fontSize, m_controller->fontSizeIndex()},
        {m_alphabetize, m_controller->alphabetizeCategoriesIndex()},
        {m_weekStart, m_controller->weekStartDayIndex()},
        {m_automaticBackups, m_controller->automaticBackupsIndex()},
        {m_aisles, m_controller->groceryAislesIndex()},
        {m_consolidate, m_controller->groceryConsolidationIndex()}};
    for (const auto& [menu, index] : menus) {
        menu->setCurrentIndex(static_cast<int>(index));
    }
    m_homePage->setText(qs(m_controller->homePage()));
    m_recipient->setText(qs(m_controller->defaultRecipient()));
    refreshBackupsFolder();
    refreshServer();
    cloudSyncChanged();
}

void SettingsWindow::paneShown() {
    const int pane = m_controller->selectedPaneIndex();
    m_panes->setCurrentIndex(pane);
    m_toolbarItems[pane]->setChecked(true);
    setWindowTitle(tr("Settings — %1").arg(m_toolbarItems[pane]->text()));
}

QComboBox* SettingsWindow::menu(const std::vector<std::string>& items, std::size_t selected,
                                const QString& name) {
    auto* box = new QComboBox(this);
    for (const auto& item : items) {
        box->addItem(qs(item));
    }
    box->setCurrentIndex(static_cast<int>(selected));
    box->setAccessibleName(name);
    return box;
}

QWidget* SettingsWindow::makeGeneralPane() {
    auto* content = new QVBoxLayout;

    auto* browser = new QGroupBox(t("Browser"), this);
    auto* browserForm = new QFormLayout(browser);
    m_homePage = new QLineEdit(qs(m_controller->homePage()), browser);
    m_homePage->setAccessibleName(t("Home Page"));
    browserForm->addRow(t("Home Page:"), m_homePage);
    content->addWidget(browser);

    auto* email = new QGroupBox(t("Email"), this);
    auto* emailForm = new QFormLayout(email);
    m_recipient = new QLineEdit(qs(m_controller->defaultRecipient()), email);
    m_recipient->setAccessibleName(t("Default Recipient"));
    emailForm->addRow(t("Default Recipient:"), m_recipient);
    content->addWidget(email);

    auto* appearance = new QGroupBox(t("Appearance"), this);
    auto* appearanceForm = new QFormLayout(appearance);
    m_fontSize = menu(SettingsController::fontSizeItems(), m_controller->fontSizeIndex(),
                      t("Recipe Font Size"));
    m_alphabetize = menu(SettingsController::yesNoItems(),
                         m_controller->alphabetizeCategoriesIndex(), t("Alphabetize Categories"));
    m_weekStart = menu(SettingsController::weekdayItems(), m_controller->weekStartDayIndex(),
                       t("Week Starts On"));
    appearanceForm->addRow(t("Recipe Font Size:"), m_fontSize);
    appearanceForm->addRow(t("Alphabetize Categories:"), m_alphabetize);
    appearanceForm->addRow(t("Week Starts On:"), m_weekStart);
    content->addWidget(appearance);

    auto* backups = new QGroupBox(t("Backups"), this);
    auto* backupsForm = new QFormLayout(backups);
    m_automaticBackups = menu(SettingsController::yesNoItems(),
                              m_controller->automaticBackupsIndex(), t("Automatic Backups"));
    backupsForm->addRow(t("Automatic Backups:"), m_automaticBackups);
    m_backupsFolder = new QLabel(backups);
    m_backupsFolder->setObjectName("backupsFolder");
    m_backupsFolder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_backupsFolder->setWordWrap(true);
    auto* choose = new QPushButton(t("Choose…"), backups);
    auto* reset = new QPushButton(t("Use Default"), backups);
    reset->setObjectName("defaultBackupsFolder");
    backupsForm->addRow(t("Backups Folder:"), m_backupsFolder);
    auto* folderButtons = new QHBoxLayout;
    folderButtons->addWidget(choose);
    folderButtons->addWidget(reset);
    folderButtons->addStretch(1);
    backupsForm->addRow(QString(), folderButtons);
    content->addWidget(backups);
    refreshBackupsFolder();

    connect(m_homePage, &QLineEdit::editingFinished, this, &SettingsWindow::saveSettings);
    connect(m_recipient, &QLineEdit::editingFinished, this, &SettingsWindow::saveSettings);
    connect(m_fontSize, &QComboBox::activated, this,
            [this](int index) { m_controller->fontSizeChanged(static_cast<std::size_t>(index)); });
    connect(m_alphabetize, &QComboBox::activated, this, [this](int index) {
        m_controller->alphabetizeCategoriesChanged(static_cast<std::size_t>(index));
    });
    connect(m_weekStart, &QComboBox::activated, this,
            [this](int index) { m_controller->dayOfWeekChanged(static_cast<std::size_t>(index)); });
    connect(m_automaticBackups, &QComboBox::activated, this, [this](int index) {
        m_controller->automaticBackupsChanged(static_cast<std::size_t>(index));
    });
    connect(choose, &QPushButton::clicked, this, &SettingsWindow::chooseBackupsFolder);
    connect(reset, &QPushButton::clicked, this, [this] {
        m_controller->backupsFolderChanged({});
        refreshBackupsFolder();
    });
    return paneOf(content, this);
}

void SettingsWindow::refreshBackupsFolder() {
    QString shown = qpath(m_controller->backupsFolder());
    if (m_controller->backupsFolderIsDefault()) {
        shown += " " + t("(default)");
    }
    m_backupsFolder->setText(shown);
}

void SettingsWindow::chooseBackupsFolder() {
    const QString chosen = QFileDialog::getExistingDirectory(this, t("Backups Folder"),
                                                             qpath(m_controller->backupsFolder()));
    if (!chosen.isEmpty()) {
        m_controller->backupsFolderChanged(fspath(chosen));
        refreshBackupsFolder();
    }
}

QWidget* SettingsWindow::makeGroceryListPane() {
    auto* content = new QVBoxLayout;
    auto* box = new QGroupBox(t("Grocery List"), this);
    auto* form = new QFormLayout(box);
    m_aisles = menu(SettingsController::yesNoItems(), m_controller->groceryAislesIndex(),
                    t("Sort By Aisle"));
    m_consolidate = menu(SettingsController::yesNoItems(),
                         m_controller->groceryConsolidationIndex(), t("Consolidate Ingredients"));
    form->addRow(t("Sort By Aisle:"), m_aisles);
    form->addRow(t("Consolidate Ingredients:"), m_consolidate);
    content->addWidget(box);
    connect(m_aisles, &QComboBox::activated, this, [this](int index) {
        m_controller->groceryAisleChanged(static_cast<std::size_t>(index));
    });
    connect(m_consolidate, &QComboBox::activated, this, [this](int index) {
        m_controller->groceryConsolidateChanged(static_cast<std::size_t>(index));
    });
    return paneOf(content, this);
}

QWidget* SettingsWindow::makeCloudSyncPane() {
    auto* content = new QVBoxLayout;
    m_cloudPages = new QStackedWidget(this);
    m_cloudPages->setObjectName("cloudSyncPages");

    // "login"
    auto* login = new QWidget(m_cloudPages);
    login->setObjectName("login");
    auto* loginLayout = new QVBoxLayout(login);
    loginLayout->setContentsMargins(0, 0, 0, 0);
    loginLayout->addWidget(note(t("Sign in to your Miravel server to keep recipes, meals, grocery "
                                  "lists and bookmarks in step with your other devices."),
                                login));
    m_loginForm = new AccountForm(
        AccountForm::Login,
        [this](const std::string& email, const std::string& password, const std::string&,
               AccountFlow::Done done) { return m_controller->login(email, password, done); },
        login);
    m_loginForm->cancelButton()->hide();
    loginLayout->addWidget(m_loginForm);
    auto* loginLinks = new QHBoxLayout;
    m_showCreate = new QPushButton(t("Create Account…"), login);
    m_showCreate->setObjectName("showCreateAccount");
    auto* forgot = new QPushButton(t("Forgot Password?"), login);
    forgot->setFlat(true);
    loginLinks->addWidget(m_showCreate);
    loginLinks->addStretch(1);
    loginLinks->addWidget(forgot);
    loginLayout->addLayout(loginLinks);
    m_cloudPages->addWidget(login);

    // "createaccount"
    auto* create = new QWidget(m_cloudPages);
    create->setObjectName("createaccount");
    auto* createLayout = new QVBoxLayout(create);
    createLayout->setContentsMargins(0, 0, 0, 0);
    createLayout->addWidget(
        note(t("Create an account on your Miravel server. Passwords must be at least six "
               "characters."),
             create));
    m_createForm = new AccountForm(
        AccountForm::CreateAccount,
        [this](const std::string& email, const std::string& password,
               const std::string& confirmation, AccountFlow::Done done) {
            return m_controller->createAccount(email, password, confirmation, done);
        },
        create);
    createLayout->addWidget(m_createForm);
    m_cloudPages->addWidget(create);

    // "managesync"
    auto* manage = new QWidget(m_cloudPages);
    manage->setObjectName("managesync");
    auto* manageForm = new QFormLayout(manage);
    manageForm->setContentsMargins(0, 0, 0, 0);
    m_account = new QLabel(manage);
    m_account->setObjectName("accountEmail");
    m_account->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_logout = new QPushButton(t("Logout"), manage);
    auto* accountRow = new QHBoxLayout;
    accountRow->addWidget(m_account, 1);
    accountRow->addWidget(m_logout);
    manageForm->addRow(t("Account:"), accountRow);
    m_schedule =
        menu(SettingsController::syncModeItems(), m_controller->syncModeIndex(), t("Sync"));
    manageForm->addRow(t("Sync:"), m_schedule);
    m_lastSynced = new QLabel(manage);
    m_lastSynced->setObjectName("lastSynced");
    manageForm->addRow(t("Last Synced:"), m_lastSynced);
    m_status = new QLabel(manage);
    m_status->setObjectName("syncStatus");
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    manageForm->addRow(t("Status:"), m_status);
    m_syncSpinner = new QProgressBar(manage);
    m_syncSpinner->setRange(0, 0);
    m_syncSpinner->setTextVisible(false);
    m_syncSpinner->setMaximumWidth(80);
    m_syncSpinner->setAccessibleName(t("Syncing"));
    m_syncNow = new QPushButton(t("Sync Now"), manage);
    m_syncNow->setObjectName("syncNow");
    auto* syncRow = new QHBoxLayout;
    syncRow->addWidget(m_syncNow);
    syncRow->addWidget(m_syncSpinner);
    syncRow->addStretch(1);
    manageForm->addRow(QString(), syncRow);
    m_cloudPages->addWidget(manage);
    content->addWidget(m_cloudPages);

    // The server, on every page: each user runs their own.
    auto* server = new QGroupBox(t("Server"), this);
    auto* serverLayout = new QVBoxLayout(server);
    auto* serverForm = new QFormLayout;
    m_server = new QLineEdit(server);
    m_server->setObjectName("serverAddress");
    m_server->setAccessibleName(t("Server Address"));
    serverForm->addRow(t("Address:"), m_server);
    serverLayout->addLayout(serverForm);
    m_serverWarning = note(QString(), server);
    m_serverWarning->setObjectName("serverWarning");
    m_serverWarning->setStyleSheet("color: #b3261e;");
    serverLayout->addWidget(m_serverWarning);
    m_passwordStorage = note(qs(m_controller->passwordStorageText()), server);
    m_passwordStorage->setObjectName("passwordStorage");
    serverLayout->addWidget(m_passwordStorage);
    content->addWidget(server);
    refreshServer();

    connect(m_showCreate, &QPushButton::clicked, this, [this] {
        m_createForm->email()->setText(m_loginForm->email()->text());
        m_controller->showCreateAccountPage();
    });
    connect(m_createForm, &AccountForm::cancelled, this, [this] { m_controller->showLoginPage(); });
    auto signedIn = [this](const QString& title, const QString& message) {
        presentAccountAlert(this, {ss(title), ss(message)}, false);
    };
    connect(m_loginForm, &AccountForm::succeeded, this, signedIn);
    connect(m_createForm, &AccountForm::succeeded, this, signedIn);
    connect(forgot, &QPushButton::clicked, this, [this] {
        presentAccountAlert(this, SettingsController::forgotPasswordAlert(), false);
    });
    connect(m_logout, &QPushButton::clicked, this, &SettingsWindow::logoutPressed);
    connect(m_schedule, &QComboBox::activated, this, [this](int index) {
        m_controller->syncUpdateChanged(static_cast<std::size_t>(index));
    });
    connect(m_syncNow, &QPushButton::clicked, this, [this] {
        m_controller->syncNowPressed();
        cloudSyncChanged();
    });
    connect(m_server, &QLineEdit::editingFinished, this, &SettingsWindow::serverEdited);
    return paneOf(content, this);
}

void SettingsWindow::refreshServer() {
    if (!m_server->hasFocus()) {
        m_server->setText(qs(m_controller->serviceAddress()));
    }
    const std::string warning = m_controller->serviceAddressWarning();
    m_serverWarning->setText(qs(warning));
    m_serverWarning->setVisible(!warning.empty());
}

void SettingsWindow::serverEdited() {
    m_controller->serviceAddressChanged(ss(m_server->text()));
    m_server->setText(qs(m_controller->serviceAddress()));
    refreshServer();
}

void SettingsWindow::logoutPressed() {
    const AccountAlert& question = SyncController::logoutQuestion();
    QStringList buttons;
    for (const auto& button : SettingsController::logoutButtons()) {
        buttons << qs(button);
    }
    if (presentAlert(this, {QMessageBox::Critical, qs(question.title), qs(question.message),
                            buttons}) != 0) {
        return;
    }
    presentAccountAlert(this, m_controller->logoutConfirmed(), false);
}

void SettingsWindow::cloudSyncChanged() {
    using Page = SettingsController::CloudSyncPage;
    const Page page = m_controller->cloudSyncPage();
    m_cloudPages->setCurrentIndex(page == Page::Login ? 0 : page == Page::CreateAccount ? 1 : 2);
    m_account->setText(qs(m_controller->accountEmail()));
    m_schedule->setCurrentIndex(static_cast<int>(m_controller->syncModeIndex()));
    m_lastSynced->setText(qs(m_controller->lastSyncedText()));
    m_status->setText(qs(m_controller->statusText()));
    m_syncNow->setText(qs(m_controller->syncNowTitle()));
    m_syncNow->setEnabled(m_controller->syncNowEnabled());
    m_syncSpinner->setVisible(m_controller->isSyncing());
    m_passwordStorage->setText(qs(m_controller->passwordStorageText()));
}

void SettingsWindow::saveSettings() {
    if (m_homePage == nullptr) {
        return;
    }
    m_controller->saveSettings(ss(m_homePage->text()), ss(m_recipient->text()));
}

void SettingsWindow::setAlphabetizeCategories(bool alphabetize) {
    if (MainWindow* window = m_application.mainWindow()) {
        window->recipesPane().categoryColumn().controller().setAlphabetizeCategories(alphabetize);
    }
}

void SettingsWindow::setSortGroceryListByAisles(bool byAisle) {
    if (MainWindow* window = m_application.mainWindow()) {
        window->groceriesPane().list().setSortGroceryListByAisles(byAisle);
    }
}

void SettingsWindow::setConsolidateGroceryList(bool consolidate) {
    if (MainWindow* window = m_application.mainWindow()) {
        window->groceriesPane().list().setConsolidateGroceryList(consolidate);
    }
}

void SettingsWindow::automaticBackupsChanged(bool on) {
    if (on) {
        m_application.application().scheduleAutomaticBackups();
    }
}

void SettingsWindow::changeEvent(QEvent* event) {
    // Like a field's editing ending, the window losing the focus writes the text fields.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()) {
        saveSettings();
    }
    QWidget::changeEvent(event);
}

void SettingsWindow::closeEvent(QCloseEvent* event) {
    saveSettings();
    if (m_server->hasFocus()) {
        serverEdited();
    }
    QWidget::closeEvent(event);
}

}  // namespace miravel::desktop
