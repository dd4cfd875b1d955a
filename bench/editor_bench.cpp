// Figures for the annotation editor on a 5K screenshot (5120 × 2880 pixels at scale 2),
// beside the obvious approach that deep-copies the whole bitmap for every snapshot and for
// every pen drag event. Editor figures include repainting the whole visible canvas at once
// (offscreen), more than the changed area the editor itself repaints.
// Run: build/bench/editor_bench
#include "main/ImageEditor/EditorCanvasView.h"
#include "main/ImageEditor/ImageEditorController.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cstdio>
#include <deque>
#include <set>
#include <vector>

namespace {

constexpr int bitmapWidth = 5120;
constexpr int bitmapHeight = 2880;
constexpr qreal scale = 2.0;
constexpr int annotations = 30;

QImage screenshot() {
    QImage image(bitmapWidth, bitmapHeight, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < bitmapHeight; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < bitmapWidth; ++x) {
            line[x] = qRgb(x & 0xff, y & 0xff, (x ^ y) & 0xff);
        }
    }
    image.setDevicePixelRatio(scale);
    return image;
}

double megabytes(qint64 bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

struct Timing {
    double median;
    double worst;
};

Timing summarise(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples.back()};
}

template <typename Work>
double millisecondsOf(Work&& work) {
    QElapsedTimer clock;
    clock.start();
    work();
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

// Peak resident memory of this process so far, from the kernel.
qint64 peakResidentBytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
        }
    }
    return 0;
}

// Pixels the editor holds: each distinct tile once, however many versions share it.
qint64 heldBytes(const EditorDocument& document) {
    std::set<const uchar*> seen;
    qint64 total = 0;
    document.forEachVersion([&](const TiledImage& version) {
        version.forEachTile([&](const QImage& tile) {
            if (seen.insert(tile.constBits()).second) {
                total += tile.sizeInBytes();
            }
        });
    });
    return total;
}

void send(QWidget* canvas, QEvent::Type type, QPointF at) {
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, canvas->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
    QCoreApplication::sendEvent(canvas, &event);
}

// The obvious document: every snapshot and every edit is a full deep copy.
struct NaiveDocument {
    QImage image;
    std::deque<QImage> undoStack;
    std::vector<QImage> redoStack;

    void pushUndo() {
        undoStack.push_back(image.copy());
        if (undoStack.size() > EditorDocument::undoLimit) {
            undoStack.pop_front();
        }
        redoStack.clear();
    }
    void edit(const std::function<void(QPainter&)>& draw) {
        QImage working = image.copy();
        {
            QPainter painter(&working);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.scale(scale, scale);
            draw(painter);
        }
        image = working;
    }
    void undo() {
        redoStack.push_back(image.copy());
        image = undoStack.back();
        undoStack.pop_back();
    }
    void redo() {
        undoStack.push_back(image.copy());
        image = redoStack.back();
        redoStack.pop_back();
    }
    qint64 held() const {
        qint64 total = image.sizeInBytes();
        for (const QImage& snapshot : undoStack) {
            total += snapshot.sizeInBytes();
        }
        for (const QImage& snapshot : redoStack) {
            total += snapshot.sizeInBytes();
        }
        return total;
    }
};

// Thirty small annotations as a user makes them: pen strokes, rectangles and texts.
void annotate(EditorCanvasView& canvas, const std::function<void()>& afterEach) {
    const EditTool tools[] = {EditTool::pen, EditTool::rectangle, EditTool::text};
    for (int index = 0; index < annotations; ++index) {
        canvas.setTool(tools[index % 3]);
        const QPointF origin(100 + (index % 6) * 380, 100 + (index / 6) * 250);
        send(&canvas, QEvent::MouseButtonPress, origin);
        for (int step = 1; step <= 20; ++step) {
            send(&canvas, QEvent::MouseMove, origin + QPointF(step * 8, step * 5));
        }
        send(&canvas, QEvent::MouseButtonRelease, origin + QPointF(160, 100));
        afterEach();
    }
}

// Counts the canvas's paint events, to be sure the figures include repainting.
class PaintCounter : public QObject {
  public:
    int count = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

// The real editor window, shown offscreen, so every figure includes repainting what changed.
std::unique_ptr<ImageEditorController> shownEditor(const QImage& image) {
    ImageEditorPlatform seams;
    seams.promptText = [](QWidget*) { return std::optional<QString>("Ghi chú"); };
    auto editor = std::make_unique<ImageEditorController>(
        image,
        [](std::optional<QImage>, const ImageEditorController::SaveAnswer& answer) {
            answer(true);
        },
        seams);
    editor->showWindow();
    QCoreApplication::processEvents();
    return editor;
}

void reportPenDrag(const QImage& image) {
    const auto editor = shownEditor(image);
    EditorCanvasView& canvas = *editor->canvasView();
    PaintCounter paints;
    canvas.installEventFilter(&paints);
    send(&canvas, QEvent::MouseButtonPress, QPointF(200, 200));
    std::vector<double> samples;
    for (int step = 1; step <= 300; ++step) {
        const QPointF at(200 + step * 3, 200 + (step % 40) * 7);
        samples.push_back(millisecondsOf([&] {
            send(&canvas, QEvent::MouseMove, at);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        }));
    }
    send(&canvas, QEvent::MouseButtonRelease, QPointF(200, 200));
    const Timing tiled = summarise(samples);
    if (canvas.copyImage() == image || paints.count < 300) {
        std::printf("pen drag drew nothing or was not repainted (%d paints): figures are void\n",
                    paints.count);
    }

    NaiveDocument naive{image, {}, {}};
    naive.pushUndo();
    samples.clear();
    QPointF last(200, 200);
    for (int step = 1; step <= 40; ++step) {
        const QPointF at(200 + step * 3, 200 + (step % 40) * 7);
        samples.push_back(millisecondsOf([&] {
            naive.edit([&](QPainter& painter) {
                painter.setPen(QPen(Qt::red, 4, Qt::SolidLine, Qt::RoundCap));
                painter.drawLine(last, at);
            });
        }));
        last = at;
    }
    const Timing copying = summarise(samples);
    std::printf(
        "pen drag event          tiled: median %7.3f ms (worst %7.3f)   "
        "naive: median %7.3f ms (worst %7.3f)   target < 4 ms\n",
        tiled.median, tiled.worst, copying.median, copying.worst);
}

void reportMemoryAndHistory(const QImage& image) {
    const qint64 bitmap = image.sizeInBytes();
    const qint64 residentBefore = peakResidentBytes();
    qint64 peakHeld = 0;
    std::vector<double> undos;
    std::vector<double> redos;
    {
        const auto editor = shownEditor(image);
        EditorCanvasView& canvas = *editor->canvasView();
        const auto track = [&] { peakHeld = std::max(peakHeld, heldBytes(canvas.document())); };
        annotate(canvas, track);
        while (canvas.document().undoCount() > 0) {
            undos.push_back(millisecondsOf([&] {
                canvas.undo();
                canvas.repaint();
            }));
            track();
        }
        while (canvas.document().redoCount() > 0) {
            redos.push_back(millisecondsOf([&] {
                canvas.redo();
                canvas.repaint();
            }));
            track();
        }
    }
    const qint64 residentGrowth = peakResidentBytes() - residentBefore;
    const Timing undo = summarise(undos);
    const Timing redo = summarise(redos);

    NaiveDocument naive{image.copy(), {}, {}};
    qint64 naivePeak = 0;
    std::vector<double> naiveUndos;
    std::vector<double> naiveRedos;
    for (int index = 0; index < annotations; ++index) {
        naive.pushUndo();
        naive.edit([&](QPainter& painter) {
            painter.setPen(QPen(Qt::red, 4));
            painter.drawRect(QRectF(100 + index * 50, 100, 160, 100));
        });
        naivePeak = std::max(naivePeak, naive.held());
    }
    while (!naive.undoStack.empty()) {
        naiveUndos.push_back(millisecondsOf([&] { naive.undo(); }));
        naivePeak = std::max(naivePeak, naive.held());
    }
    while (!naive.redoStack.empty()) {
        naiveRedos.push_back(millisecondsOf([&] { naive.redo(); }));
    }
    const Timing naiveUndo = summarise(naiveUndos);
    const Timing naiveRedo = summarise(naiveRedos);

    std::printf("bitmap size             %.1f MiB; target peak < 4 x = %.1f MiB\n",
                megabytes(bitmap), megabytes(4 * bitmap));
    std::printf(
        "30 annotations + undo   tiled: peak held %7.1f MiB (%.2f x bitmap), "
        "process peak RSS growth %7.1f MiB   naive: peak held %7.1f MiB (%.2f x)\n",
        megabytes(peakHeld), static_cast<double>(peakHeld) / static_cast<double>(bitmap),
        megabytes(residentGrowth), megabytes(naivePeak),
        static_cast<double>(naivePeak) / static_cast<double>(bitmap));
    std::printf(
        "undo step               tiled: median %7.3f ms (worst %7.3f)   "
        "naive: median %7.3f ms (worst %7.3f)   target < 20 ms\n",
        undo.median, undo.worst, naiveUndo.median, naiveUndo.worst);
    std::printf(
        "redo step               tiled: median %7.3f ms (worst %7.3f)   "
        "naive: median %7.3f ms (worst %7.3f)   target < 20 ms\n",
        redo.median, redo.worst, naiveRedo.median, naiveRedo.worst);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QImage image = screenshot();
    std::printf("editor on %d x %d pixels at scale %.0f\n", bitmapWidth, bitmapHeight, scale);
    reportMemoryAndHistory(image);
    reportPenDrag(image);
    return 0;
}
