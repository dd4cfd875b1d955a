#include "main/ImageEditor/ColorWell.h"

#include <QColorDialog>
#include <QPainter>
#include <QPixmap>

namespace {

constexpr QSize swatchSize(28, 16);

QIcon swatch(const QColor& color) {
    QPixmap picture(swatchSize);
    picture.fill(color);
    QPainter painter(&picture);
    painter.setPen(Qt::darkGray);
    painter.drawRect(picture.rect().adjusted(0, 0, -1, -1));
    return QIcon(picture);
}

}  // namespace

ColorWell::ColorWell(const QColor& initial, QWidget* parent)
    : QPushButton(parent), current(initial) {
    setIconSize(swatchSize);
    setIcon(swatch(current));
    connect(this, &QPushButton::clicked, this, &ColorWell::choose);
}

void ColorWell::setColor(const QColor& color) {
    if (!color.isValid() || color == current) {
        return;
    }
    current = color;
    setIcon(swatch(current));
    Q_EMIT colorChanged(current);
}

void ColorWell::choose() {
    setColor(QColorDialog::getColor(current, window(), QString(), QColorDialog::ShowAlphaChannel));
}
