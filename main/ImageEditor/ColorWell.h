#pragma once

#include <QColor>
#include <QPushButton>

// A button showing a colour swatch; clicking it asks for another colour.
class ColorWell : public QPushButton {
    Q_OBJECT
  public:
    explicit ColorWell(const QColor& initial, QWidget* parent = nullptr);

    QColor color() const { return current; }
    void setColor(const QColor& color);

  Q_SIGNALS:
    void colorChanged(const QColor& color);

  private:
    void choose();

    QColor current;
};
