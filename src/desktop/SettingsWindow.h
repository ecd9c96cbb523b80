#pragma once

#include <QWidget>
#include <memory>

#include "sync/SettingsController.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;

namespace miravel::desktop {

class AccountForm;
class DesktopApplication;

// The settings window: "General", "Cloud Sync" and "Grocery List" panes under a toolbar. It
// draws what SettingsController says and hands it every choice; the controller stores it and
// tells the main window's lists.
class SettingsWindow : public QWidget, public SettingsControllerDelegate {
    Q_OBJECT
public:
    explicit SettingsWindow(DesktopApplication& application, QWidget* parent = nullptr);
    ~SettingsWindow() override;

    SettingsController& controller() { return *m_controller; }
    // SettingsController::Pane numbering.
    void showPane(int pane);
    QStackedWidget* panes() const { return m_panes; }
    QAction* toolbarItem(int pane) const { return m_toolbarItems[pane]; }

    // General
    QLineEdit* homePageField() const { return m_homePage; }
    QLineEdit* recipientField() const { return m_recipient; }
    QComboBox* fontSizeMenu() const { return m_fontSize; }
    QComboBox* alphabetizeMenu() const { return m_alphabetize; }
    QComboBox* weekStartMenu() const { return m_weekStart; }
    QComboBox* automaticBackupsMenu() const { return m_automaticBackups; }
    QLabel* backupsFolderLabel() const { return m_backupsFolder; }
    // Grocery List
    QComboBox* aislesMenu() const { return m_aisles; }
    QComboBox* consolidateMenu() const { return m_consolidate; }
    // Cloud Sync
    QStackedWidget* cloudSyncPages() const { return m_cloudPages; }
    AccountForm& loginForm() const { return *m_loginForm; }
    AccountForm& createAccountForm() const { return *m_createForm; }
    QPushButton* createAccountButton() const { return m_showCreate; }
    QLabel* accountLabel() const { return m_account; }
    QComboBox* scheduleMenu() const { return m_schedule; }
    QLabel* lastSyncedLabel() const { return m_lastSynced; }
    QLabel* statusLabel() const { return m_status; }
    QPushButton* syncNowButton() const { return m_syncNow; }
    QPushButton* logoutButton() const { return m_logout; }
    QLineEdit* serverField() const { return m_server; }
    QLabel* serverWarningLabel() const { return m_serverWarning; }
    QLabel* passwordStorageLabel() const { return m_passwordStorage; }

    // Writes the text fields when they differ from what is stored.
    void saveSettings();
    void logoutPressed();

    // SettingsControllerDelegate
    void setAlphabetizeCategories(bool alphabetize) override;
    void setSortGroceryListByAisles(bool byAisle) override;
    void setConsolidateGroceryList(bool consolidate) override;
    void automaticBackupsChanged(bool on) override;
    void cloudSyncChanged() override;

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* makeGeneralPane();
    QWidget* makeCloudSyncPane();
    QWidget* makeGroceryListPane();
    QComboBox* menu(const std::vector<std::string>& items, std::size_t selected,
                    const QString& name);
    void chooseBackupsFolder();
    void refreshBackupsFolder();
    void refreshServer();
    void serverEdited();
    void paneShown();
    void reloadControls();

    DesktopApplication& m_application;
    std::unique_ptr<SettingsController> m_controller;
    QStackedWidget* m_panes = nullptr;
    QAction* m_toolbarItems[3] = {};
    QLineEdit* m_homePage = nullptr;
    QLineEdit* m_recipient = nullptr;
    QComboBox* m_fontSize = nullptr;
    QComboBox* m_alphabetize = nullptr;
    QComboBox* m_weekStart = nullptr;
    QComboBox* m_automaticBackups = nullptr;
    QLabel* m_backupsFolder = nullptr;
    QComboBox* m_aisles = nullptr;
    QComboBox* m_consolidate = nullptr;
    QStackedWidget* m_cloudPages = nullptr;
    AccountForm* m_loginForm = nullptr;
    AccountForm* m_createForm = nullptr;
    QPushButton* m_showCreate = nullptr;
    QLabel* m_account = nullptr;
    QComboBox* m_schedule = nullptr;
    QLabel* m_lastSynced = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_syncNow = nullptr;
    QProgressBar* m_syncSpinner = nullptr;
    QPushButton* m_logout = nullptr;
    QLineEdit* m_server = nullptr;
    QLabel* m_serverWarning = nullptr;
    QLabel* m_passwordStorage = nullptr;
};

}  // namespace miravel::desktop
