// How long the history list takes to appear with 100 rows of 4K screenshots, and what asking a
// row's thumbnail again costs, with the thumbnail cache and with a synchronous decode per cell.

#include "main/App/HistoryTableModel.h"
#include "main/App/MainWindowController.h"
#include "main/CaptureService/ThumbnailMaker.h"
#include "platform/ffmpeg/MovieFrameReader.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLinearGradient>
#include <QPainter>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

constexpr int rowCount = 100;
constexpr QSize pictureSize(3840, 2160);

// Window chrome, text lines and a photo-like gradient: compresses like a real screenshot.
QImage screenshotLike() {
    QImage picture(pictureSize, QImage::Format_RGB32);
    QPainter painter(&picture);
    painter.fillRect(picture.rect(), QColor(236, 236, 236));
    QLinearGradient sky(0, 0, 0, 2160);
    sky.setColorAt(0, QColor(40, 90, 160));
    sky.setColorAt(1, QColor(220, 160, 90));
    painter.fillRect(QRect(1900, 200, 1800, 1800), sky);
    painter.setFont(QFont(QStringLiteral("Sans"), 28));
    for (int window = 0; window < 3; ++window) {
        const QRect frame(100 + window * 300, 150 + window * 250, 1700, 1200);
        painter.fillRect(frame, Qt::white);
        painter.fillRect(frame.x(), frame.y(), frame.width(), 60, QColor(60, 60, 70));
        for (int line = 0; line < 25; ++line) {
            painter.setPen(QColor(20 + line * 5, 30, 40));
            painter.drawText(frame.x() + 30, frame.y() + 110 + line * 44,
                             QStringLiteral("Dòng %1 của cửa sổ %2 — ghi chú, số liệu 0123456789")
                                 .arg(line)
                                 .arg(window));
        }
    }
    return picture;
}

std::vector<CaptureItem> writeHistory(const QTemporaryDir& folder) {
    const QString first = folder.filePath(QStringLiteral("Screenshot_0.png"));
    screenshotLike().save(first);
    std::vector<CaptureItem> items;
    for (int row = 0; row < rowCount; ++row) {
        const QString path = folder.filePath(QStringLiteral("Screenshot_%1.png").arg(row));
        if (row > 0) {
            QFile::copy(first, path);
        }
        items.push_back(CaptureItem{row + 1, QStringLiteral("screenshot"), path,
                                    QDateTime::currentDateTime().addSecs(-row)});
    }
    return items;
}

// The way the list worked before the cache: every cell request decodes the file again.
class UncachedModel : public QIdentityProxyModel {
  public:
    explicit UncachedModel(HistoryTableModel* source) : history(source) { setSourceModel(source); }
    QVariant data(const QModelIndex& index, int role) const override {
        if (index.column() == HistoryTableModel::thumbColumn && role == Qt::DecorationRole) {
            return ThumbnailMaker::image(history->items()[static_cast<size_t>(index.row())],
                                         HistoryTableModel::thumbnailSize,
                                         platform::readMovieFrame);
        }
        return QIdentityProxyModel::data(index, role);
    }

  private:
    HistoryTableModel* history;
};

// Counts the paints a widget receives.
class PaintCounter : public QObject {
  public:
    int paints = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

void layOut(QTableView& view) {
    view.resize(860, 560);
    view.verticalHeader()->hide();
    view.verticalHeader()->setDefaultSectionSize(64);
    view.setTextElideMode(Qt::ElideMiddle);
    const int widths[] = {112, 70, 165, 300};
    for (int column = 0; column < 4; ++column) {
        view.horizontalHeader()->resizeSection(column, widths[column]);
    }
}

void pumpUntil(const std::function<bool()>& condition) {
    while (!condition()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
}

int visibleRows(const QTableView& view) {
    const int last = view.rowAt(view.viewport()->height() - 1);
    return (last < 0 ? view.model()->rowCount() - 1 : last) - view.rowAt(0) + 1;
}

double millis(const QElapsedTimer& clock) {
    return clock.nsecsElapsed() / 1e6;
}

// Time until the last page of the list has been painted after jumping to it.
double scrollToEndMillis(QTableView& view, const PaintCounter& counter) {
    QElapsedTimer clock;
    clock.start();
    const int paintsBefore = counter.paints;
    view.scrollToBottom();
    pumpUntil([&] { return counter.paints > paintsBefore; });
    return millis(clock);
}

// Average cost of asking the first visible rows for their thumbnail, in microseconds.
double reRequestMicros(const QAbstractItemModel& model, int rows, int rounds) {
    QElapsedTimer clock;
    clock.start();
    for (int round = 0; round < rounds; ++round) {
        for (int row = 0; row < rows; ++row) {
            model.data(model.index(row, HistoryTableModel::thumbColumn), Qt::DecorationRole);
        }
    }
    return clock.nsecsElapsed() / 1e3 / (rounds * rows);
}

// One table over the model: shown and painted, then (with the cache) the visible
// thumbnails in place, the cost of asking for them again, and a jump to the last page.
void runTable(const char* label, QAbstractItemModel& model, const HistoryTableModel& history,
              int reRequestRounds) {
    QElapsedTimer clock;
    clock.start();
    QTableView view;
    PaintCounter counter;
    view.viewport()->installEventFilter(&counter);
    int arrived = 0;
    int paintsAtArrival = 0;
    QObject::connect(&history, &QAbstractItemModel::dataChanged, [&] {
        ++arrived;
        paintsAtArrival = counter.paints;
    });
    view.setModel(&model);
    layOut(view);
    view.show();
    pumpUntil([&] { return counter.paints > 0; });
    const double painted = millis(clock);
    const int visible = visibleRows(view);
    const bool drawnLater = &model == &history;
    if (drawnLater) {
        pumpUntil([&] { return arrived >= visible && counter.paints > paintsAtArrival; });
    }
    const double complete = millis(clock);
    const double reRequest = reRequestMicros(model, visible, reRequestRounds);
    std::printf(
        "%-10s shown+painted %8.1f ms   %d visible thumbnails complete %8.1f ms   "
        "re-request %8.2f us   last page painted %8.1f ms\n",
        label, painted, visible, complete, reRequest, scrollToEndMillis(view, counter));
}

// The program's own main window over a history of those rows, from construction to its list
// being painted.
void runMainWindow(const std::vector<CaptureItem>& items, const QTemporaryDir& folder) {
    auto database = std::make_shared<HistoryDatabase>(folder.filePath(QStringLiteral("support")));
    for (auto item = items.rbegin(); item != items.rend(); ++item) {
        database->add(item->type, item->path);
    }
    QElapsedTimer clock;
    clock.start();
    const platform::Backends backends = platform::backendsFor(platform::KeyboardDesktop::x11);
    MainWindowController controller(
        database, std::make_shared<CaptureService>(database, CapturePlatform::of(backends)),
        std::make_shared<KeyRemapper>(
            KeyRemapperPlatform{backends.keyMappingTool, backends.hotKeys}),
        MainWindowPlatform{.readMovieFrame = backends.readMovieFrame});
    PaintCounter counter;
    auto* list = controller.window()->findChild<QTableView*>();
    list->viewport()->installEventFilter(&counter);
    controller.showWindow();
    pumpUntil([&] { return counter.paints > 0; });
    std::printf("main window with %zu rows shown+painted %8.1f ms\n", database->recent().size(),
                millis(clock));
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    QTemporaryDir folder;
    QElapsedTimer clock;
    clock.start();
    const auto items = writeHistory(folder);
    std::printf("%d rows of %dx%d PNG (%lld bytes each) written in %.0f ms\n", rowCount,
                pictureSize.width(), pictureSize.height(),
                static_cast<long long>(QFile(items.front().path).size()), millis(clock));
    {
        HistoryTableModel history(std::make_unique<ThumbnailCache>(
            ThumbnailCache::drawingWith(platform::readMovieFrame)));
        history.setItems(items);
        UncachedModel uncached(&history);
        runTable("no cache", uncached, history, 2);
    }
    {
        HistoryTableModel history(std::make_unique<ThumbnailCache>(
            ThumbnailCache::drawingWith(platform::readMovieFrame)));
        history.setItems(items);
        runTable("cached", history, history, 2000);
    }
    runMainWindow(items, folder);
    return 0;
}
