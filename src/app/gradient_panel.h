#pragma once

#include <QColor>
#include <QWidget>

namespace tdb::app {

// A panel painted with a vertical three-colour gradient (top, middle, bottom). The background
// colour shows only where the gradient does not reach, which it always does.
class GradientPanel : public QWidget {
    Q_OBJECT
public:
    GradientPanel(QColor top, QColor middle, QColor bottom, QColor background,
                  QWidget* parent = nullptr);

    QColor topColor() const { return top_; }
    QColor middleColor() const { return middle_; }
    QColor bottomColor() const { return bottom_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor top_;
    QColor middle_;
    QColor bottom_;
};

} // namespace tdb::app
