#include "main/RegionSelector.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRasterWindow>
#include <QScreen>
#include <QTransform>
#include <QWidget>
#include <QWindow>
#include <cmath>

namespace {

constexpr double dimAlpha = 0.45;
const QColor systemBlue(0, 122, 255);

QRectF unionOf(const std::vector<platform::Screen>& screens) {
    QRectF area;
    for (const platform::Screen& screen : screens) {
        area = area.united(screen.frame);
    }
    return area;
}

// Left edge in, right edge out; along y the edge nearer Qt's top is in, so the topmost pixel
// row of a screen belongs to it and not to a screen stacked above.
bool screenHolds(const QRectF& frame, const QPointF& point) {
    return point.x() >= frame.left() && point.x() < frame.right() && point.y() > frame.top() &&
           point.y() <= frame.bottom();
}

QPointF clampInto(const QRectF& frame, const QPointF& point) {
    return {std::min(std::max(point.x(), frame.left()), frame.right()),
            std::min(std::max(point.y(), frame.top()), frame.bottom())};
}

QScreen* qtScreenNamed(const QString& name) {
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen->name() == name) {
            return screen;
        }
    }
    return nullptr;
}

QFont systemFont(int size, QFont::Weight weight) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(size);
    font.setWeight(weight);
    return font;
}

}  // namespace

// The overlay window itself. Its geometry is ours (y up, origin at its lower-left corner);
// it flips to Qt's only when painting.
class RegionSelectorView : public QWidget {
  public:
    // With ownScreen the window covers that one screen, which layout then holds alone.
    RegionSelectorView(platform::ScreenLayout layout,
                       std::optional<std::vector<platform::DesktopPiece>> desktop,
                       QScreen* ownScreen = nullptr)
        : layout(std::move(layout)), desktop(std::move(desktop)), ownScreen(ownScreen) {
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                       Qt::X11BypassWindowManagerHint);
        setAttribute(Qt::WA_TranslucentBackground, !this->desktop.has_value());
        setFocusPolicy(Qt::StrongFocus);
        overlayFrame = unionOf(this->layout.screens);
        setGeometry(this->layout.space.toQt(overlayFrame).toRect());
    }

    std::function<void(RegionResult)> onComplete;
    // Where the desktop tells the pointer's pixels; a window of its own screen needs none.
    std::unique_ptr<platform::PointerPixels> pointer;
    QString prompt = QStringLiteral("Kéo chuột để chọn vùng  •  Esc để hủy");

    void present() {
        if (ownScreen != nullptr) {
            // A window is put on its screen, at its size, before it is shown: moved or resized
            // there later, some desktops do not show its new picture until the pointer comes by.
            setScreen(ownScreen);
            setGeometry(ownScreen->geometry());
            showFullScreen();
            keepComposited();
        } else {
            show();
        }
        windowHandle()->installEventFilter(this);
        raise();
        activateWindow();
        setFocus();
    }

  protected:
    // X refuses a keyboard grab on a window that is not viewable yet, so it waits for the
    // first expose; without a window manager nothing else would hand us the keyboard.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && !keyboardTaken && windowHandle()->isExposed()) {
            keyboardTaken = windowHandle()->setKeyboardGrabEnabled(true);
        }
        return QWidget::eventFilter(watched, event);
    }

    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) {
            return;
        }
        const QPointF point = globalPoint(event, platform::PointerPixels::Kind::press);
        const auto& screens = layout.screens;
        const auto found = std::find_if(screens.begin(), screens.end(), [&](const auto& screen) {
            return screenHolds(screen.frame, point);
        });
        if (found == screens.end()) {
            return;
        }
        selectedScreen = *found;
        start = toView(point);
        current = start;
        dragging = true;
        update();
    }

    void mouseMoveEvent(QMouseEvent* event) override {
        if (!dragging || !selectedScreen) {
            return;
        }
        current = toView(clampInto(selectedScreen->frame,
                                   globalPoint(event, platform::PointerPixels::Kind::motion)));
        update();
    }

    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton || !dragging || !selectedScreen) {
            return;
        }
        dragging = false;
        current = toView(clampInto(selectedScreen->frame,
                                   globalPoint(event, platform::PointerPixels::Kind::release)));
        const QRectF selected = selection();
        if (selected.width() >= 4 && selected.height() >= 4) {
            if (onComplete) {
                onComplete({selected.translated(overlayFrame.topLeft()), selectedScreen});
            }
            return;
        }
        update();
    }

    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() != Qt::Key_Escape) {
            QWidget::keyPressEvent(event);
            return;
        }
        if (onComplete) {
            onComplete({});
        }
    }

    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        if (desktop) {
            painter.fillRect(rect(), Qt::black);
        }
        for (const platform::Screen& screen : layout.screens) {
            painter.save();
            painter.setTransform(screenTransform(screen));
            painter.setClipRect(toWidget(screen.frame.translated(-overlayFrame.topLeft())));
            paintScene(painter);
            painter.restore();
        }
    }

  private:
    // A full-screen window of one surface may go to the output as it is, uncomposited; sway 1.7
    // with such windows on two outputs does not redraw an output whole when it composites again
    // (the pointer coming by, a screen copy), which then keeps showing what was there before.
    // A second, clear surface of one pixel keeps every output composited.
    void keepComposited() {
        auto* pixel = new QRasterWindow(windowHandle());
        QSurfaceFormat format;
        format.setAlphaBufferSize(8);
        pixel->setFormat(format);
        pixel->setFlag(Qt::WindowTransparentForInput);
        pixel->setGeometry(0, 0, 1, 1);
        pixel->show();
    }

    QPointF globalPoint(const QMouseEvent* event, platform::PointerPixels::Kind kind) const {
        // A window of its own screen knows where it is from the screen alone; the desktop may
        // not tell a client where its windows are.
        if (ownScreen != nullptr) {
            return layout.space.toGlobal(event->position() +
                                         layout.space.toQt(overlayFrame).topLeft());
        }
        if (pointer != nullptr) {
            if (const auto pixel = pointer->at(kind, event->timestamp())) {
                if (const auto point = platform::pointAtPixel(layout, *pixel)) {
                    return *point;
                }
            }
        }
        return layout.space.toGlobal(event->globalPosition());
    }
    QPointF toView(const QPointF& global) const { return global - overlayFrame.topLeft(); }
    QRectF toWidget(const QRectF& viewRect) const {
        return {viewRect.x(), height() - (viewRect.y() + viewRect.height()), viewRect.width(),
                viewRect.height()};
    }
    QRectF selection() const {
        return {std::min(start.x(), current.x()), std::min(start.y(), current.y()),
                std::abs(start.x() - current.x()), std::abs(start.y() - current.y())};
    }

    // With scale factors Qt places a window spanning several screens by one screen's factor
    // but maps each screen's pointer by that screen's own; drawing each screen's part through
    // the same map as its pointer keeps the picture under the pointer.
    QTransform screenTransform(const platform::Screen& screen) const {
        if (ownScreen != nullptr) {
            return {};
        }
        const QRectF qtFrame = layout.space.toQt(screen.frame);
        const QPointF local = mapFromGlobal(qtFrame.topLeft());
        const double ratio = screen.backingScaleFactor / devicePixelRatioF();
        const QPointF inOverlay = qtFrame.topLeft() - layout.space.toQt(overlayFrame).topLeft();
        return QTransform::fromTranslate(local.x(), local.y())
            .scale(ratio, ratio)
            .translate(-inOverlay.x(), -inOverlay.y());
    }

    void paintScene(QPainter& painter) const {
        paintDesktop(painter);
        painter.fillRect(QRectF(0, 0, width(), height()), QColor::fromRgbF(0, 0, 0, dimAlpha));
        if (dragging) {
            paintSelection(painter, toWidget(selection()));
        } else {
            paintPrompt(painter);
        }
    }

    void paintDesktop(QPainter& painter) const {
        if (!desktop) {
            return;
        }
        for (const platform::DesktopPiece& piece : *desktop) {
            painter.drawPixmap(toWidget(piece.frame.translated(-overlayFrame.topLeft())),
                               piece.pixels, QRectF(piece.pixels.rect()));
        }
    }

    void paintSelection(QPainter& painter, const QRectF& area) const {
        painter.save();
        if (desktop) {
            // Without a compositor "clear" means the undimmed desktop we painted first.
            painter.setClipRect(area, Qt::IntersectClip);
            paintDesktop(painter);
        } else {
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.fillRect(area, Qt::transparent);
        }
        painter.restore();

        painter.setPen(QPen(systemBlue, 2.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(area);

        const QString label = QStringLiteral("%1 × %2")
                                  .arg(static_cast<long long>(std::trunc(area.width())))
                                  .arg(static_cast<long long>(std::trunc(area.height())));
        const QFont font = systemFont(13, QFont::Medium);
        const QSizeF size = QFontMetricsF(font).size(Qt::TextSingleLine, label);
        const QRectF box(QPointF(area.left() + 8, area.top() - 6 - size.height()), size);
        paintText(painter, box, label, font, QColor::fromRgbF(0, 0, 0, 0.65));
    }

    void paintPrompt(QPainter& painter) const {
        const QFont font = systemFont(16, QFont::DemiBold);
        const QSizeF size = QFontMetricsF(font).size(Qt::TextSingleLine, prompt);
        QRectF box = promptBox(overlayFrame, size);
        // Centred over screens of different heights the prompt can fall in a gap no monitor
        // shows; then the primary screen carries it instead.
        if (!onScreens(box) && !layout.screens.empty()) {
            box = promptBox(layout.screens.front().frame, size);
        }
        paintText(painter, toWidget(box.translated(-overlayFrame.topLeft())), prompt, font,
                  QColor::fromRgbF(0, 0, 0, 0.7));
    }

    static QRectF promptBox(const QRectF& area, const QSizeF& size) {
        return {area.left() + (area.width() - size.width()) * 0.5,
                area.bottom() - 45 - size.height(), size.width(), size.height()};
    }

    bool onScreens(const QRectF& box) const {
        const auto shown = [this](const QPointF& corner) {
            return std::any_of(
                layout.screens.begin(), layout.screens.end(), [&](const auto& screen) {
                    const QRectF& frame = screen.frame;
                    return corner.x() >= frame.left() && corner.x() <= frame.right() &&
                           corner.y() >= frame.top() && corner.y() <= frame.bottom();
                });
        };
        return shown(box.topLeft()) && shown(box.topRight()) && shown(box.bottomLeft()) &&
               shown(box.bottomRight());
    }

    static void paintText(QPainter& painter, const QRectF& box, const QString& text,
                          const QFont& font, const QColor& background) {
        painter.fillRect(box, background);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(box, Qt::AlignLeft | Qt::AlignTop, text);
    }

    platform::ScreenLayout layout;
    std::optional<std::vector<platform::DesktopPiece>> desktop;
    QScreen* ownScreen;
    QRectF overlayFrame;
    QPointF start;
    QPointF current;
    std::optional<platform::Screen> selectedScreen;
    bool dragging = false;
    bool keyboardTaken = false;
};

void RegionSelectorController::DeleteLater::operator()(RegionSelectorView* view) const {
    // The view may be inside its own event handler when its owner lets go of it.
    view->hide();
    view->deleteLater();
}

RegionSelectorController::RegionSelectorController(Completion completion)
    : completion(std::move(completion)) {}

std::shared_ptr<RegionSelectorController> RegionSelectorController::create(
    const QString& prompt, Completion completion, std::shared_ptr<const platform::Screens> screens,
    const platform::PointerPixelsWatch& watchPointerPixels) {
    std::shared_ptr<RegionSelectorController> controller(
        new RegionSelectorController(std::move(completion)));
    const platform::ScreenLayout layout = screens->layout();
    const auto desktop = screens->desktopStill();
    if (screens->overlayPerScreen()) {
        for (size_t index = 0; index < layout.screens.size(); ++index) {
            platform::ScreenLayout own{{layout.screens[index]}, layout.space};
            std::optional<std::vector<platform::DesktopPiece>> piece;
            if (desktop && index < desktop->size()) {
                piece = std::vector{(*desktop)[index]};
            }
            controller->views.emplace_back(new RegionSelectorView(
                std::move(own), std::move(piece), qtScreenNamed(layout.screens[index].name)));
        }
    } else {
        controller->views.emplace_back(new RegionSelectorView(layout, desktop));
        if (watchPointerPixels) {
            controller->views.front()->pointer = watchPointerPixels();
        }
    }
    for (const auto& view : controller->views) {
        view->prompt = prompt;
        view->onComplete = [weakController = std::weak_ptr(controller)](RegionResult result) {
            if (const auto strong = weakController.lock()) {
                strong->deliver(std::move(result));
            }
        };
        view->present();
    }
    QGuiApplication::setOverrideCursor(Qt::CrossCursor);
    return controller;
}

RegionSelectorController::~RegionSelectorController() {
    if (!finished) {
        QGuiApplication::restoreOverrideCursor();
    }
}

QWidget* RegionSelectorController::window() const {
    return views.empty() ? nullptr : views.front().get();
}

void RegionSelectorController::deliver(RegionResult result) {
    if (finished) {
        return;
    }
    finished = true;
    QGuiApplication::restoreOverrideCursor();
    for (const auto& view : views) {
        view->hide();
    }
    if (completion) {
        completion(std::move(result));
    }
}
