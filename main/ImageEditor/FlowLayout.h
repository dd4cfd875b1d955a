#pragma once

#include <QLayout>
#include <QList>

// Lays its items out left to right and wraps them onto further rows when the width runs
// out, so a toolbar keeps every item reachable on a narrow screen instead of widening its
// window. An item that expands horizontally is a stretch: it takes its row's spare room, and
// the items after it keep to the right end of their rows.
class FlowLayout : public QLayout {
  public:
    FlowLayout(QWidget* parent, int spacing);
    ~FlowLayout() override;

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    void setGeometry(const QRect& rect) override;

  private:
    // Places the items within the rectangle when asked to; answers the height they take.
    int arrange(const QRect& rect, bool place) const;

    QList<QLayoutItem*> items;
};
