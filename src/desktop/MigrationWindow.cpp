#include "desktop/MigrationWindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "desktop/QtText.h"
#include "lib/StringTable.h"
#include "model/MigrationController.h"

namespace miravel::desktop {

MigrationWindow::MigrationWindow(MigrationController& controller, QWidget* parent)
    : QDialog(parent),
      m_controller(controller),
      m_image(new QLabel(this)),
      m_text(new QLabel(this)),
      m_bar(new QProgressBar(this)),
      m_report(new QPushButton(qs(miravel::tr(MigrationController::kSendBugReportButton)), this)),
      m_quit(new QPushButton(qs(miravel::tr(MigrationController::kQuitButton)), this)) {
    setObjectName("migrationWindow");
    // No close button: the window goes when the work is done, or the user quits.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowModality(Qt::ApplicationModal);
    const int icon = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    m_image->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(icon, icon));
    m_image->setAccessibleName(qs(miravel::tr("Caution")));
    m_text->setObjectName("progressText");
    m_text->setWordWrap(true);
    m_text->setMinimumWidth(320);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_bar->setObjectName("progressBar");
    m_bar->setAccessibleName(qs(miravel::tr("Progress")));
    m_bar->setTextVisible(false);
    m_report->setObjectName("sendBugReport");
    m_quit->setObjectName("quit");
    connect(m_report, &QPushButton::clicked, this, [this] { m_controller.sendBugReport(); });
    connect(m_quit, &QPushButton::clicked, this, [this] { m_controller.quitMiravel(); });

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->setSpacing(16);
    layout->addWidget(m_image, 0, Qt::AlignTop);
    auto* column = new QVBoxLayout;
    column->addWidget(m_text);
    column->addWidget(m_bar);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_report);
    buttons->addWidget(m_quit);
    column->addLayout(buttons);
    layout->addLayout(column, 1);
    refresh();
}

void MigrationWindow::refresh() {
    const auto& view = m_controller.view();
    setWindowTitle(qs(view.title));
    m_text->setText(qs(view.progressText));
    m_bar->setVisible(view.indicatorVisible);
    // A range of 0 to 0 is Qt's bar with no end, which moves by itself.
    if (view.determinate) {
        m_bar->setRange(0, 100);
        m_bar->setValue(view.progressValue);
    } else {
        m_bar->setRange(0, view.animating ? 0 : 1);
        m_bar->setValue(view.animating ? 0 : 1);
    }
    m_image->setVisible(view.cautionImage);
    m_report->setVisible(view.buttonsVisible);
    m_quit->setVisible(view.buttonsVisible);
    if (view.buttonsVisible) {
        m_quit->setDefault(true);
    }
    adjustSize();
}

}  // namespace miravel::desktop
