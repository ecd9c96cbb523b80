#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace miravel {
class MigrationController;
}

namespace miravel::desktop {

// The small window of a store conversion and of a restore: the progress text over a bar
// (a percentage while converting, a bar with no end while restoring) and, when the
// conversion fails, the caution image with "Send Bug Report" and "Quit". It draws the
// controller's view and hands the buttons to it; nothing else.
class MigrationWindow : public QDialog {
    Q_OBJECT
public:
    explicit MigrationWindow(MigrationController& controller, QWidget* parent = nullptr);

    // Draws the controller's view as it is now.
    void refresh();

    QLabel* progressText() const { return m_text; }
    QProgressBar* progressBar() const { return m_bar; }
    QLabel* cautionImage() const { return m_image; }
    QPushButton* sendBugReportButton() const { return m_report; }
    QPushButton* quitButton() const { return m_quit; }

protected:
    // Neither Escape nor the title bar's close button ends a conversion half-way.
    void reject() override {}

private:
    MigrationController& m_controller;
    QLabel* m_image;
    QLabel* m_text;
    QProgressBar* m_bar;
    QPushButton* m_report;
    QPushButton* m_quit;
};

}  // namespace miravel::desktop
