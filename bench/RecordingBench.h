#pragma once

// What the recording benchmarks share: full-screen moving content, CPU clocks and child
// processes.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QRandomGenerator>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <string>
#include <vector>

namespace bench {

// Full-screen motion: a busy picture scrolling sideways at 60 steps a second, so every
// capture tick sees a changed screen.
class MovingContent : public QWidget {
  public:
    explicit MovingContent(QSize size)
        : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint),
          texture(size.width() * 2, size.height(), QImage::Format_RGB32) {
        QPainter painter(&texture);
        QRandomGenerator random(7);
        for (int block = 0; block < 4000; ++block) {
            painter.fillRect(random.bounded(texture.width()), random.bounded(texture.height()),
                             20 + random.bounded(200), 10 + random.bounded(80),
                             QColor::fromRgb(random.generate()));
        }
        painter.setPen(Qt::black);
        for (int y = 0; y < texture.height(); y += 24) {
            painter.drawText(10, y, QStringLiteral("Quorvastelin • dòng chữ chạy %1").arg(y));
        }
        setGeometry(QRect(QPoint(0, 0), size));
        connect(&timer, &QTimer::timeout, this, [this] {
            offset = (offset + 8) % (texture.width() / 2);
            update();
        });
        timer.start(16);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).drawImage(QPoint(0, 0), texture, QRect(offset, 0, width(), height()));
    }

  private:
    QImage texture;
    QTimer timer;
    int offset = 0;
};

inline double seconds(const timeval& time) {
    return time.tv_sec + time.tv_usec / 1e6;
}

inline double ownCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

inline double processCpuSeconds(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / sysconf(_SC_CLK_TCK);
}

// Starts a program with its output discarded.
inline pid_t spawn(const std::vector<std::string>& arguments) {
    const pid_t child = fork();
    if (child == 0) {
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        const int devNull = ::open("/dev/null", O_RDWR);
        dup2(devNull, STDIN_FILENO);
        dup2(devNull, STDOUT_FILENO);
        dup2(devNull, STDERR_FILENO);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

// Keeps the event loop turning for a while.
inline void pump(std::chrono::milliseconds period) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < period.count()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

}  // namespace bench
