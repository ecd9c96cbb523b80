#pragma once

#include <QLabel>

class QPropertyAnimation;
class QTimer;

namespace miravel::desktop {

// The transient notice: a one-line confirmation, 286 x 66, 10 points in from the bottom-right
// corner of the widget it sits on, that fades out by itself.
class Notice : public QLabel {
    Q_OBJECT
public:
    static constexpr int kWidth = 286;
    static constexpr int kHeight = 66;
    static constexpr int kMargin = 10;

    explicit Notice(QWidget* host);
    void showText(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();

    QTimer* m_hold;
    QPropertyAnimation* m_fade;
};

}  // namespace miravel::desktop
