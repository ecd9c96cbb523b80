#include "desktop/Notice.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QTimer>

namespace miravel::desktop {

Notice::Notice(QWidget* host) : QLabel(host), m_hold(new QTimer(this)) {
    setObjectName("notice");
    setAccessibleName(tr("Notice"));
    setFixedSize(kWidth, kHeight);
    setAlignment(Qt::AlignCenter);
    setWordWrap(true);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setStyleSheet(
        "QLabel#notice { background: rgba(40, 40, 40, 220); color: white; border-radius: 10px;"
        " font-size: 13pt; padding: 6px; }");
    auto* opacity = new QGraphicsOpacityEffect(this);
    setGraphicsEffect(opacity);
    m_fade = new QPropertyAnimation(opacity, "opacity", this);
    m_fade->setDuration(600);
    m_fade->setStartValue(1.0);
    m_fade->setEndValue(0.0);
    connect(m_fade, &QPropertyAnimation::finished, this, &QWidget::hide);
    m_hold->setSingleShot(true);
    connect(m_hold, &QTimer::timeout, m_fade, [this] { m_fade->start(); });
    host->installEventFilter(this);
    hide();
}

void Notice::showText(const QString& text) {
    setText(text);
    m_fade->stop();
    static_cast<QGraphicsOpacityEffect*>(graphicsEffect())->setOpacity(1.0);
    place();
    show();
    raise();
    m_hold->start(1500);
}

bool Notice::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent() && event->type() == QEvent::Resize) {
        place();
    }
    return QLabel::eventFilter(watched, event);
}

void Notice::place() {
    auto* host = parentWidget();
    move(host->width() - kWidth - kMargin, host->height() - kHeight - kMargin);
}

}  // namespace miravel::desktop
