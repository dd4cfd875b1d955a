#include "main/ImageEditor/ImageEditorController.h"

#include "main/ImageEditor/ColorWell.h"
#include "main/ImageEditor/EditTool.h"
#include "main/ImageEditor/EditorCanvasView.h"
#include "main/ImageEditor/FlowLayout.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QShowEvent>
#include <QVBoxLayout>
#include <QWindow>

namespace {

constexpr QSize windowSize(1200, 780);
constexpr double defaultWidth = 4.0;
constexpr double defaultZoom = 1.0;

// The wanted size where the screen has room, otherwise what its available area leaves once
// the window manager's frame is counted; centred there, frame and all.
void fitOnScreen(QWidget* window, const QScreen* screen) {
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->availableGeometry();
    const QMargins frame =
        window->windowHandle() != nullptr ? window->windowHandle()->frameMargins() : QMargins();
    window->resize(windowSize.boundedTo(area.size().shrunkBy(frame)));
    QRect framed(QPoint(0, 0), window->size().grownBy(frame));
    framed.moveCenter(area.center());
    window->move(framed.topLeft());
}

// The top-level window; its close button counts as cancelling.
class EditorWindow : public QWidget {
  public:
    explicit EditorWindow(std::function<void()> onClose) : onClose(std::move(onClose)) {}

  protected:
    void closeEvent(QCloseEvent* event) override {
        onClose();
        event->accept();
    }
    void showEvent(QShowEvent* event) override {
        QWidget::showEvent(event);
        if (!event->spontaneous()) {
            fitting = true;
            fitOnScreen(this, screen());
        }
    }
    // A window manager tells the frame's size only once it has framed the shown window, and
    // then moves it: fit again with the frame counted, and leave later moves to the user.
    void moveEvent(QMoveEvent* event) override {
        QWidget::moveEvent(event);
        if (fitting && isVisible()) {
            fitting = windowHandle()->frameMargins().isNull();
            fitOnScreen(this, screen());
        }
    }

  private:
    std::function<void()> onClose;
    bool fitting = false;
};

QComboBox* picker(const QStringList& titles, const QString& selected) {
    auto* box = new QComboBox;
    box->addItems(titles);
    box->setCurrentText(selected);
    return box;
}

}  // namespace

ImageEditorController::ImageEditorController(const QImage& image, Completion completion,
                                             ImageEditorPlatform platform)
    : colorWell(new ColorWell(systemRed())),
      widthPicker(picker({"2", "4", "6", "10", "16", "24"}, QStringLiteral("4"))),
      zoomPicker(
          picker({"25%", "50%", "75%", "100%", "125%", "150%", "200%"}, QStringLiteral("100%"))),
      scrollView(new QScrollArea),
      completion(std::move(completion)),
      platform(std::move(platform)) {
    canvas = new EditorCanvasView(image, this->platform.promptText);
    QPointer<ImageEditorController> owner(this);
    editorWindow = std::make_unique<EditorWindow>([owner] {
        if (owner) {
            owner->windowWillClose();
        }
    });
    editorWindow->setWindowTitle(QStringLiteral("Chỉnh sửa ảnh — Quorvastelin"));
    buildInterface();
    fitOnScreen(editorWindow.get(), QGuiApplication::primaryScreen());
}

ImageEditorController::~ImageEditorController() = default;

void ImageEditorController::buildInterface() {
    auto* root = new QVBoxLayout(editorWindow.get());
    root->setSpacing(0);
    root->setContentsMargins(0, 0, 0, 0);

    auto* toolbar = new QWidget;
    auto* items = new FlowLayout(toolbar, 6);
    items->setContentsMargins(10, 8, 10, 8);
    for (int tag = 0; tag < editToolCount; ++tag) {
        const QString title = editToolTitle(*editToolFromRaw(tag));
        items->addWidget(button(title, [this, tag] { selectTool(tag); }));
    }
    items->addWidget(colorWell);
    connect(colorWell, &ColorWell::colorChanged, this, &ImageEditorController::colorChanged);
    items->addWidget(widthPicker);
    connect(widthPicker, &QComboBox::currentIndexChanged, this,
            &ImageEditorController::widthChanged);
    items->addWidget(button(QStringLiteral("↶"), [this] { undo(); }));
    items->addWidget(button(QStringLiteral("↷"), [this] { redo(); }));
    items->addWidget(zoomPicker);
    connect(zoomPicker, &QComboBox::currentIndexChanged, this, &ImageEditorController::zoomChanged);
    auto* spacer = new QWidget;
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    items->addWidget(spacer);
    items->addWidget(button(QStringLiteral("Sao chép"), [this] { copyImage(); }));
    items->addWidget(button(QStringLiteral("Hủy"), [this] { cancel(); }));
    items->addWidget(button(QStringLiteral("Lưu & sao chép"), [this] { save(); }));
    auto* returnKey = new QShortcut(QKeySequence(Qt::Key_Return), editorWindow.get());
    connect(returnKey, &QShortcut::activated, this, &ImageEditorController::save);
    root->addWidget(toolbar);

    scrollView->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scrollView->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scrollView->setBackgroundRole(QPalette::Dark);
    QPalette dark = scrollView->palette();
    dark.setColor(QPalette::Dark, QColor::fromRgbF(0.15f, 0.15f, 0.15f));
    scrollView->setPalette(dark);
    scrollView->setWidgetResizable(false);
    scrollView->setWidget(canvas);
    root->addWidget(scrollView, 1);

    canvas->updateFrame();
}

QPushButton* ImageEditorController::button(const QString& title, std::function<void()> action) {
    // A lone '&' would mark a mnemonic and vanish from "Lưu & sao chép".
    auto* made = new QPushButton(QString(title).replace('&', QStringLiteral("&&")));
    made->setAutoDefault(false);
    connect(made, &QPushButton::clicked, this, std::move(action));
    return made;
}

void ImageEditorController::showWindow() {
    editorWindow->show();
    editorWindow->raise();
    editorWindow->activateWindow();
}

void ImageEditorController::selectTool(int tag) {
    const std::optional<EditTool> tool = editToolFromRaw(tag);
    if (!tool) {
        return;
    }
    if (*tool == EditTool::insertImage) {
        const std::optional<QString> path = platform.chooseImageFile(editorWindow.get());
        if (!path) {
            return;
        }
        std::optional<QImage> picture = loadInsertImage(*path);
        if (!picture) {
            return;
        }
        insertImage = picture;
        canvas->setInsertImage(std::move(picture));
    }
    canvas->setTool(*tool);
}

void ImageEditorController::colorChanged() {
    canvas->setColor(colorWell->color());
}

void ImageEditorController::widthChanged() {
    bool parsed = false;
    const double width = widthPicker->currentText().toDouble(&parsed);
    canvas->setLineWidth(parsed ? width : defaultWidth);
}

void ImageEditorController::zoomChanged() {
    QString title = zoomPicker->currentText();
    title.chop(1);
    bool parsed = false;
    const double percent = title.toDouble(&parsed);
    canvas->setZoom(parsed ? percent / 100 : defaultZoom);
    canvas->updateFrame();
}

void ImageEditorController::undo() {
    canvas->undo();
}

void ImageEditorController::redo() {
    canvas->redo();
}

void ImageEditorController::copyImage() {
    platform.clipboard->setImage(canvas->copyImage());
}

void ImageEditorController::cancel() {
    if (!finished) {
        finish(std::nullopt);
    }
}

void ImageEditorController::save() {
    const QImage copy = canvas->copyImage();
    platform.clipboard->setImage(copy);
    if (finished) {
        return;
    }
    // The window stays up while the picture is saved, so one that could not be is still here.
    finished = true;
    const QPointer<ImageEditorController> self(this);
    const auto deliver = completion;
    deliver(copy, [self](bool saved) {
        if (!self) {
            return;
        }
        if (saved) {
            self->editorWindow->close();
            return;
        }
        self->finished = false;
        if (!self->editorWindow->isVisible()) {
            self->showWindow();
        }
    });
}

void ImageEditorController::windowWillClose() {
    if (finished) {
        return;
    }
    finished = true;
    const auto deliver = completion;
    deliver(std::nullopt, [](bool) {});
}

// The window closes before the completion runs, and nothing touches the controller after
// it: the owner releases the controller inside its completion.
void ImageEditorController::finish(std::optional<QImage> result) {
    finished = true;
    editorWindow->close();
    const auto deliver = completion;
    deliver(std::move(result), [](bool) {});
}
