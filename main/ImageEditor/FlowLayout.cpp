#include "main/ImageEditor/FlowLayout.h"

#include <QWidget>
#include <algorithm>

namespace {

bool isStretch(const QLayoutItem* item) {
    return (item->expandingDirections() & Qt::Horizontal) != 0;
}

int widthOf(const QLayoutItem* item) {
    return isStretch(item) ? 0 : item->sizeHint().width();
}

}  // namespace

FlowLayout::FlowLayout(QWidget* parent, int spacing) : QLayout(parent) {
    setSpacing(spacing);
}

FlowLayout::~FlowLayout() {
    qDeleteAll(items);
}

void FlowLayout::addItem(QLayoutItem* item) {
    items.append(item);
}

int FlowLayout::count() const {
    return static_cast<int>(items.size());
}

QLayoutItem* FlowLayout::itemAt(int index) const {
    return items.value(index);
}

QLayoutItem* FlowLayout::takeAt(int index) {
    return index >= 0 && index < items.size() ? items.takeAt(index) : nullptr;
}

QSize FlowLayout::sizeHint() const {
    QSize size;
    for (const QLayoutItem* item : items) {
        size = QSize(size.width() + widthOf(item) + (size.isEmpty() ? 0 : spacing()),
                     std::max(size.height(), item->sizeHint().height()));
    }
    return size.grownBy(contentsMargins());
}

QSize FlowLayout::minimumSize() const {
    QSize size;
    for (const QLayoutItem* item : items) {
        size = size.expandedTo(QSize(widthOf(item), item->sizeHint().height()));
    }
    return size.grownBy(contentsMargins());
}

int FlowLayout::heightForWidth(int width) const {
    return arrange(QRect(0, 0, width, 0), false);
}

void FlowLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

int FlowLayout::arrange(const QRect& rect, bool place) const {
    const QRect area = rect.marginsRemoved(contentsMargins());
    int top = area.top();
    bool afterStretch = false;
    for (qsizetype first = 0; first < items.size();) {
        // The row takes items while they fit, and always at least one.
        qsizetype end = first + 1;
        int used = widthOf(items[first]);
        int height = items[first]->sizeHint().height();
        for (; end < items.size() && used + spacing() + widthOf(items[end]) <= area.width();
             ++end) {
            used += spacing() + widthOf(items[end]);
            height = std::max(height, items[end]->sizeHint().height());
        }
        const int spare = std::max(0, area.width() - used);
        int left = area.left() + (afterStretch ? spare : 0);
        for (qsizetype index = first; index < end; ++index) {
            QLayoutItem* item = items[index];
            const bool stretch = isStretch(item) && !afterStretch;
            const int width = widthOf(item) + (stretch ? spare : 0);
            afterStretch = afterStretch || stretch;
            if (place) {
                const int itemHeight = std::min(height, item->sizeHint().height());
                item->setGeometry(QRect(left, top + (height - itemHeight) / 2, width, itemHeight));
            }
            left += width + spacing();
        }
        top += height + (end < items.size() ? spacing() : 0);
        first = end;
    }
    return top - area.top() + contentsMargins().top() + contentsMargins().bottom();
}
