#pragma once

#include <QWidget>
#include <memory>

#include "sync/SyncButtonController.h"

class QLabel;
class QProgressBar;
class QToolButton;

namespace miravel::desktop {

// The toolbar's sync button over its controller: the button with its image, or while a run
// is in progress a busy bar and "Syncing...".
class SyncButton : public QWidget {
    Q_OBJECT
public:
    SyncButton(SyncController& sync, UserSettings& settings, NotificationCenter& center,
               QWidget* parent = nullptr);
    ~SyncButton() override;

    SyncButtonController& controller() { return *m_controller; }
    QToolButton* button() const { return m_button; }
    QLabel* statusLabel() const { return m_label; }
    QProgressBar* indicator() const { return m_indicator; }
    // The name of the image the button shows now ("sync_icon", "sync_error_icon_selected").
    QString imageName() const { return m_imageName; }

    // The program's images of the button, drawn for the given size.
    static QPixmap image(const QString& name, int size);

private:
    void refresh();
    void showImage(bool pressed);

    std::unique_ptr<SyncButtonController> m_controller;
    QToolButton* m_button;
    QProgressBar* m_indicator;
    QLabel* m_label;
    QString m_imageName;
};

}  // namespace miravel::desktop
