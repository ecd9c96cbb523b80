#include "desktop/SyncButton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QToolButton>

#include "desktop/QtText.h"
#include "lib/StringTable.h"

namespace miravel::desktop {

namespace {

constexpr int kImageSize = 22;

// One arc of the circle with an arrowhead at its end.
void drawArrow(QPainter& painter, const QRectF& circle, double startDegrees) {
    QPainterPath arc;
    arc.arcMoveTo(circle, startDegrees);
    arc.arcTo(circle, startDegrees, 140);
    painter.drawPath(arc);
    const QPointF tip = arc.currentPosition();
    const double angle = arc.angleAtPercent(1.0);
    QTransform turn;
    turn.translate(tip.x(), tip.y());
    turn.rotate(-angle);
    const double head = circle.width() * 0.28;
    QPolygonF arrow{{0, 0}, {-head, -head * 0.6}, {-head, head * 0.6}};
    painter.setBrush(painter.pen().color());
    painter.drawPolygon(turn.map(arrow));
    painter.setBrush(Qt::NoBrush);
}

}  // namespace

QPixmap SyncButton::image(const QString& name, int size) {
    const bool error = name.startsWith("sync_error");
    const bool pressed = name.endsWith("_selected");
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor ink = error ? QColor(0xc6, 0x28, 0x28) : QColor(0x55, 0x5b, 0x63);
    if (pressed) {
        ink = ink.darker(150);
    }
    painter.setPen(QPen(ink, size / 11.0, Qt::SolidLine, Qt::RoundCap));
    const double margin = size * 0.2;
    const QRectF circle(margin, margin, size - 2 * margin, size - 2 * margin);
    drawArrow(painter, circle, 20);
    drawArrow(painter, circle, 200);
    if (error) {
        // A badge with an exclamation mark at the bottom right.
        const double badge = size * 0.46;
        const QRectF dot(size - badge, size - badge, badge, badge);
        painter.setPen(Qt::NoPen);
        painter.setBrush(ink);
        painter.drawEllipse(dot);
        painter.setPen(QPen(Qt::white, size / 14.0, Qt::SolidLine, Qt::RoundCap));
        const double x = dot.center().x();
        painter.drawLine(QPointF(x, dot.top() + badge * 0.22),
                         QPointF(x, dot.top() + badge * 0.58));
        painter.drawPoint(QPointF(x, dot.top() + badge * 0.78));
    }
    return pixmap;
}

SyncButton::SyncButton(SyncController& sync, UserSettings& settings, NotificationCenter& center,
                       QWidget* parent)
    : QWidget(parent),
      m_button(new QToolButton(this)),
      m_indicator(new QProgressBar(this)),
      m_label(new QLabel(this)) {
    setObjectName("syncButton");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 0, 4, 0);
    m_button->setObjectName("syncNow");
    m_button->setAccessibleName(qs(miravel::tr("Sync")));
    m_button->setToolTip(qs(miravel::tr("Sync")));
    m_button->setIconSize(QSize(kImageSize, kImageSize));
    m_button->setAutoRaise(true);
    // The pressed image while the button is held down.
    connect(m_button, &QToolButton::pressed, this, [this] { showImage(true); });
    connect(m_button, &QToolButton::released, this, [this] { showImage(false); });
    connect(m_button, &QToolButton::clicked, this, [this] { m_controller->pressed(); });
    // A bar with no end: the busy indicator.
    m_indicator->setObjectName("syncIndicator");
    m_indicator->setAccessibleName(qs(miravel::tr("Sync Progress")));
    m_indicator->setRange(0, 0);
    m_indicator->setTextVisible(false);
    m_indicator->setFixedSize(48, 10);
    m_label->setObjectName("syncStatus");
    // Right-aligned: the toolbar keeps the width it first gave, whichever parts show.
    layout->addStretch(1);
    layout->addWidget(m_button);
    layout->addWidget(m_indicator);
    layout->addWidget(m_label);
    m_controller =
        std::make_unique<SyncButtonController>(sync, settings, center, [this] { refresh(); });
    refresh();
}

SyncButton::~SyncButton() = default;

void SyncButton::refresh() {
    if (!m_controller) {
        return;  // the controller's first view, while it is being made
    }
    const auto& view = m_controller->view();
    m_button->setVisible(view.buttonVisible);
    m_indicator->setVisible(view.indicatorVisible);
    m_label->setVisible(!view.statusText.empty());
    m_label->setText(qs(view.statusText));
    showImage(m_button->isDown());
}

void SyncButton::showImage(bool pressed) {
    const auto& view = m_controller->view();
    m_imageName = qs(pressed ? view.pressedImage : view.image);
    m_button->setIcon(QIcon(image(m_imageName, kImageSize * 2)));
}

}  // namespace miravel::desktop
