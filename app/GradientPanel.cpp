#include "app/GradientPanel.h"

#include <QLinearGradient>
#include <QPainter>

namespace qz::app {
namespace {

// Space between the border and the caption's first letter.
constexpr int kCaptionIndent = 6;

}  // namespace

GradientPanel::GradientPanel(QColor startColor, QColor stopColor, QWidget* parent)
    : QFrame(parent), startColor_(startColor), stopColor_(stopColor) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void GradientPanel::setCaption(const QString& caption) {
    caption_ = caption;
    update();
}

void GradientPanel::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    const QRect r = rect();

    QLinearGradient gradient(r.topLeft(), r.topRight());
    gradient.setColorAt(0.0, startColor_);
    gradient.setColorAt(1.0, stopColor_);
    p.fillRect(r, gradient);

    // A bump: a raised outer line and a sunken inner one.
    const QColor light = startColor_.lighter(160);
    const QColor dark = startColor_.darker(170);
    const QRect outer = r.adjusted(0, 0, -1, -1);
    const QRect inner = r.adjusted(1, 1, -2, -2);
    p.setPen(light);
    p.drawLine(outer.topLeft(), outer.topRight());
    p.drawLine(outer.topLeft(), outer.bottomLeft());
    p.setPen(dark);
    p.drawLine(outer.bottomLeft(), outer.bottomRight());
    p.drawLine(outer.topRight(), outer.bottomRight());
    p.setPen(dark);
    p.drawLine(inner.topLeft(), inner.topRight());
    p.drawLine(inner.topLeft(), inner.bottomLeft());
    p.setPen(light);
    p.drawLine(inner.bottomLeft(), inner.bottomRight());
    p.drawLine(inner.topRight(), inner.bottomRight());

    p.setFont(font());
    p.setPen(palette().color(QPalette::WindowText));
    const QRect textRect =
        r.adjusted(kBorderWidth + kCaptionIndent, kBorderWidth, -kBorderWidth, -kBorderWidth);
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, caption_);
}

}  // namespace qz::app
