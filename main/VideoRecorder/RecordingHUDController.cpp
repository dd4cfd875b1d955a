#include "main/VideoRecorder/RecordingHUDController.h"

#include "main/VideoRecorder/ClosureTarget.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

constexpr int windowWidth = 220;
constexpr int windowHeight = 58;
constexpr int framePlacementTries = 20;
constexpr std::chrono::milliseconds framePlacementPause(50);

// Lower-left corner of the window with its frame 240 left of the right edge and 90 below the
// top of the main screen's visible area, turned into the top-left corner Qt places frames by.
QPoint hudPosition(int frameHeight) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return QPoint(0, 0);
    }
    const QRect visible = screen->availableGeometry();
    return QPoint(visible.x() + visible.width() - 240, visible.y() + 90 - frameHeight);
}

}  // namespace

RecordingHUDController::RecordingHUDController(std::function<void()> stop,
                                               std::shared_ptr<platform::WindowPlacement> placement,
                                               Clock clock)
    : placement(std::move(placement)), clock(std::move(clock)) {
    started = this->clock();
    // A tool window that floats above the others, titled but without close, minimise or
    // zoom buttons, and that never takes the keyboard from what is being recorded.
    hudWindow.reset(new QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint |
                                             Qt::CustomizeWindowHint | Qt::WindowTitleHint));
    hudWindow->setWindowTitle(QStringLiteral("Đang quay"));
    hudWindow->setAttribute(Qt::WA_ShowWithoutActivating);
    hudWindow->setFixedSize(windowWidth, windowHeight);
    hudWindow->winId();
    this->placement->keepOnAllWorkspaces(hudWindow.get());
    hudWindow->windowHandle()->installEventFilter(this);
    hudWindow->move(hudPosition(windowHeight));

    auto* row = new QHBoxLayout(hudWindow.get());
    row->setSpacing(12);
    row->setContentsMargins(14, 10, 14, 10);
    auto* dot = new QLabel(QStringLiteral("●"));
    QPalette red = dot->palette();
    red.setColor(QPalette::WindowText, QColor(255, 59, 48));
    dot->setPalette(red);
    QFont dotFont = dot->font();
    dotFont.setPixelSize(18);
    dot->setFont(dotFont);
    timeLabel = new QLabel(QStringLiteral("00:00"));
    auto* stopButton = new QPushButton(QStringLiteral("Dừng"));
    stopButton->setFocusPolicy(Qt::NoFocus);
    row->addWidget(dot, 0, Qt::AlignVCenter);
    row->addWidget(timeLabel, 0, Qt::AlignVCenter);
    row->addWidget(stopButton, 0, Qt::AlignVCenter);
    ClosureTarget::shared().wire(stopButton, std::move(stop));

    timer = new QTimer(this);
    timer->setInterval(1000);
    connect(timer, &QTimer::timeout, this, &RecordingHUDController::tick);
    timer->start();
}

RecordingHUDController::~RecordingHUDController() = default;

void RecordingHUDController::DeleteLater::operator()(QWidget* window) const {
    window->hide();
    window->deleteLater();
}

bool RecordingHUDController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == hudWindow->windowHandle() && event->type() == QEvent::Expose && !placing) {
        placing = true;
        placeByFrame(framePlacementTries);
    }
    return QObject::eventFilter(watched, event);
}

void RecordingHUDController::placeByFrame(int triesLeft) {
    // The frame a window manager adds is known only once the window is up, and its final size
    // sometimes a moment later; keep placing the window for a short while, by the frame the
    // manager itself reports, so the frame rather than the content sits at the spot.
    if (const auto frame = placement->frameExtents(hudWindow.get())) {
        const QPoint frameCorner = hudPosition(windowHeight + frame->top() + frame->bottom());
        const QPoint content = frameCorner + QPoint(frame->left(), frame->top());
        if (hudWindow->windowHandle()->position() != content) {
            hudWindow->windowHandle()->setPosition(content);
        }
    }
    if (triesLeft > 0) {
        QTimer::singleShot(framePlacementPause, this,
                           [this, triesLeft] { placeByFrame(triesLeft - 1); });
    }
}

void RecordingHUDController::showWindow() {
    hudWindow->show();
}

void RecordingHUDController::close() {
    hudWindow->close();
}

QString RecordingHUDController::timeText(std::chrono::seconds elapsed) {
    const auto seconds = static_cast<long long>(elapsed.count());
    return QString::asprintf("%02lld:%02lld", seconds / 60, seconds % 60);
}

void RecordingHUDController::tick() {
    timeLabel->setText(
        timeText(std::chrono::duration_cast<std::chrono::seconds>(clock() - started)));
}
