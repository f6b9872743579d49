#include "app/gradient_panel.h"

#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>

namespace tdb::app {

GradientPanel::GradientPanel(QColor top, QColor middle, QColor bottom, QColor background,
                             QWidget* parent)
    : QWidget(parent), top_(top), middle_(middle), bottom_(bottom) {
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, background);
    setPalette(palette);
    // The gradient covers every pixel: no background fill first, so nothing flickers. Qt's
    // backing store already double-buffers the painting.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void GradientPanel::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0.0, top_);
    gradient.setColorAt(0.5, middle_);
    gradient.setColorAt(1.0, bottom_);
    painter.fillRect(event->rect(), gradient);
}

} // namespace tdb::app
