#pragma once

#include <QWidget>
#include <memory>

#include "sync/WelcomeController.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace miravel::desktop {

class AccountSheet;
class DesktopApplication;

// The welcome assistant of the first start: its pages, the "Create Account" and "Login"
// sheets, and "Done", after which the main window is shown (`dismissed`, also when the
// window is closed some other way).
class WelcomeWindow : public QWidget {
    Q_OBJECT
public:
    explicit WelcomeWindow(DesktopApplication& application, QWidget* parent = nullptr);
    ~WelcomeWindow() override;

    WelcomeController& controller() { return *m_controller; }
    QLabel* titleLabel() const { return m_title; }
    QPushButton* nextButton() const { return m_next; }
    QPushButton* backButton() const { return m_back; }
    QPushButton* createAccountButton() const { return m_create; }
    QPushButton* loginButton() const { return m_login; }
    QLineEdit* serverField() const { return m_server; }
    // The sheet open over the window, if any.
    AccountSheet* sheet() const;

    void openLoginSheet();
    void openCreateAccountSheet();

signals:
    void dismissed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showPage();
    void nextPressed();
    void openSheet(bool login);

    DesktopApplication& m_application;
    std::unique_ptr<WelcomeController> m_controller;
    QLabel* m_title;
    QLabel* m_message;
    QWidget* m_account;
    QLineEdit* m_server;
    QLabel* m_serverWarning;
    QPushButton* m_create;
    QPushButton* m_login;
    QPushButton* m_back;
    QPushButton* m_next;
    bool m_dismissed = false;
};

}  // namespace miravel::desktop
