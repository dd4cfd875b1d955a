#include "main/VideoRecorder/RecordingHUDController.h"

#include "main/VideoRecorder/ClosureTarget.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace {

constexpr int windowWidth = 220;
constexpr int windowHeight = 58;

// Lower-left corner 240 left of the right edge and 90 below the top of the main screen's
// visible area, turned into the top-left corner Qt places windows by.
QPoint hudPosition() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return QPoint(0, 0);
    }
    const QRect visible = screen->availableGeometry();
    return QPoint(visible.x() + visible.width() - 240, visible.y() + 90 - windowHeight);
}

}  // namespace

RecordingHUDController::RecordingHUDController(std::function<void()> stop, Clock clock)
    : clock(std::move(clock)) {
    started = this->clock();
    // A tool window that floats above the others, titled but without close, minimise or
    // zoom buttons, and that never takes the keyboard from what is being recorded.
    hudWindow.reset(new QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint |
                                             Qt::CustomizeWindowHint | Qt::WindowTitleHint));
    hudWindow->setWindowTitle(QStringLiteral("Đang quay"));
    hudWindow->setAttribute(Qt::WA_ShowWithoutActivating);
    hudWindow->setFixedSize(windowWidth, windowHeight);
    hudWindow->move(hudPosition());

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
