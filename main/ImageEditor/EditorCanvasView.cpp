#include "main/ImageEditor/EditorCanvasView.h"

#include "main/ImageEditor/FreehandTool.h"
#include "main/ImageEditor/RegionTools.h"
#include "main/ImageEditor/ShapeTools.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

std::array<std::unique_ptr<CanvasTool>, editToolCount> makeTools(TextPrompt promptText,
                                                                 QWidget* dialogParent) {
    std::array<std::unique_ptr<CanvasTool>, editToolCount> tools;
    const auto slot = [&](EditTool tool) -> std::unique_ptr<CanvasTool>& {
        return tools[static_cast<std::size_t>(tool)];
    };
    slot(EditTool::pen) = std::make_unique<FreehandTool>(FreehandTool::pen());
    slot(EditTool::marker) = std::make_unique<FreehandTool>(FreehandTool::marker());
    slot(EditTool::arrow) = std::make_unique<ArrowTool>();
    slot(EditTool::rectangle) = std::make_unique<OutlineTool>(OutlineTool::Shape::rectangle);
    slot(EditTool::ellipse) = std::make_unique<OutlineTool>(OutlineTool::Shape::ellipse);
    slot(EditTool::text) = std::make_unique<TextTool>(std::move(promptText), dialogParent);
    slot(EditTool::insertImage) = std::make_unique<InsertImageTool>();
    slot(EditTool::crop) = std::make_unique<CropTool>();
    slot(EditTool::pixelate) = std::make_unique<PixelateTool>();
    return tools;
}

}  // namespace

QColor systemRed() {
    return QColor(255, 59, 48);
}

EditorCanvasView::EditorCanvasView(const QImage& image, TextPrompt promptText, QWidget* parent)
    : QWidget(parent),
      content(image),
      strokeColor(systemRed()),
      tools(makeTools(std::move(promptText), this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
    setAccessibleName(QStringLiteral("Ảnh đang chỉnh sửa"));
    updateFrame();
}

EditorCanvasView::~EditorCanvasView() = default;

QImage EditorCanvasView::copyImage() const {
    return content.image().toImage();
}

QSizeF EditorCanvasView::frameSize() const {
    const QSizeF size = content.image().size();
    return QSizeF(std::max(size.width() * scale, 1.0), std::max(size.height() * scale, 1.0));
}

void EditorCanvasView::updateFrame() {
    const QSizeF frame = frameSize();
    resize(static_cast<int>(std::ceil(frame.width())), static_cast<int>(std::ceil(frame.height())));
    update();
}

void EditorCanvasView::undo() {
    if (content.undo()) {
        updateFrame();
    }
}

void EditorCanvasView::redo() {
    if (content.redo()) {
        updateFrame();
    }
}

QPointF EditorCanvasView::viewPoint(const QMouseEvent* event) const {
    return topDown(event->position(), frameSize().height());
}

QPointF EditorCanvasView::clamped(QPointF point) const {
    const QSizeF frame = frameSize();
    return QPointF(std::min(std::max(point.x(), 0.0), frame.width()),
                   std::min(std::max(point.y(), 0.0), frame.height()));
}

Gesture EditorCanvasView::gesture() const {
    return Gesture{startPoint, currentPoint, lastPoint,   frameSize(),
                   scale,      width,        strokeColor, insertion};
}

CanvasTool& EditorCanvasView::currentTool() const {
    return *tools[static_cast<std::size_t>(activeTool)];
}

void EditorCanvasView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const QPointF point = viewPoint(event);
    startPoint = currentPoint = lastPoint = point;
    dragging = currentTool().press(content, gesture());
    update();
}

void EditorCanvasView::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging) {
        return;
    }
    currentPoint = clamped(viewPoint(event));
    const std::optional<QRectF> changed = currentTool().drag(content, gesture());
    lastPoint = currentPoint;
    if (changed) {
        update(topDown(*changed, frameSize().height()).toAlignedRect());
    } else {
        update();
    }
}

void EditorCanvasView::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging || event->button() != Qt::LeftButton) {
        return;
    }
    currentPoint = clamped(viewPoint(event));
    dragging = false;
    CanvasTool& tool = currentTool();
    const Gesture finished = gesture();
    if (tool.commitsOnRelease() && tool.accepts(finished)) {
        content.pushUndo();
        tool.commit(content, finished);
        updateFrame();
    }
    update();
}

void EditorCanvasView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::black);
    content.image().render(painter, scale, event->rect());
    if (!dragging || !currentTool().commitsOnRelease()) {
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    currentTool().preview(painter, gesture());
}
