#include "main/App/MainWindowController.h"

#include "main/App/HistoryTableModel.h"
#include "platform/MainQueue.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QVBoxLayout>

namespace {

const QString selectingText = QStringLiteral("Đang chọn vùng chụp…");

// The desktop's secondary text: the window text at half strength, readable on light and dark.
void useSecondaryColour(QLabel* label) {
    QPalette palette = label->palette();
    QColor colour = palette.color(QPalette::WindowText);
    colour.setAlphaF(0.5);
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

void setTextColour(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

}  // namespace

MainWindowController::MainWindowController(std::shared_ptr<HistoryDatabase> database,
                                           std::shared_ptr<CaptureService> capture,
                                           std::shared_ptr<KeyRemapper> remapper,
                                           MainWindowPlatform platform)
    : database(std::move(database)),
      capture(std::move(capture)),
      remapper(std::move(remapper)),
      platform(std::move(platform)) {
    buildWindow();
    installCallbacks();
    reloadList();
}

MainWindowController::~MainWindowController() = default;

void MainWindowController::buildWindow() {
    mainWindow = std::make_unique<QWidget>();
    mainWindow->setWindowTitle(QStringLiteral("Quorvastelin ") +
                               QStringLiteral(QUORVASTELIN_VERSION));
    mainWindow->setFixedSize(860, 560);

    auto* stack = new QVBoxLayout(mainWindow.get());
    stack->setSpacing(12);
    stack->setContentsMargins(20, 20, 20, 20);

    mappingToggle = new QCheckBox(
        QStringLiteral("Windows Mode: Command → Control  •  Control giữ nguyên  •  Option = Alt"));
    mappingToggle->setChecked(true);
    QFont switchFont = mappingToggle->font();
    switchFont.setPixelSize(15);
    switchFont.setWeight(QFont::DemiBold);
    mappingToggle->setFont(switchFont);
    // Whatever flips the box, a click, the keyboard or a screen reader's action.
    connect(mappingToggle, &QCheckBox::toggled, this, &MainWindowController::toggleMapping);
    stack->addWidget(mappingToggle);

    permissionStatus = new QLabel;
    useSecondaryColour(permissionStatus);
    stack->addWidget(permissionStatus);

    auto* hint = new QLabel(
        QStringLiteral("Command + 4: chụp vùng   •   Command + 5: quay/dừng quay vùng màn hình"));
    useSecondaryColour(hint);
    stack->addWidget(hint);

    buttonRow = new QHBoxLayout;
    buttonRow->setSpacing(10);
    const std::pair<QString, void (MainWindowController::*)()> actions[] = {
        {QStringLiteral("Chụp vùng"), &MainWindowController::captureScreenshot},
        {QStringLiteral("Quay vùng"), &MainWindowController::toggleVideo},
        {QStringLiteral("Mở thư mục"), &MainWindowController::openFolder},
        {QStringLiteral("Bật lại đổi phím"), &MainWindowController::requestPermission},
        {QStringLiteral("Ẩn cửa sổ"), &MainWindowController::hideWindow},
    };
    for (const auto& [title, action] : actions) {
        auto* button = new QPushButton(title);
        connect(button, &QPushButton::clicked, this, action);
        buttonRow->addWidget(button);
    }
    buttonRow->addStretch();
    stack->addLayout(buttonRow);

    status = new QLabel(QStringLiteral("Sẵn sàng"));
    stack->addWidget(status);

    history = new HistoryTableModel(
        std::make_unique<ThumbnailCache>(ThumbnailCache::drawingWith(platform.readMovieFrame)),
        this);
    table = new QTableView;
    table->setModel(history);
    table->verticalHeader()->hide();
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(64);
    table->setIconSize(HistoryTableModel::thumbnailSize);
    table->setTextElideMode(Qt::ElideMiddle);
    table->setWordWrap(false);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    table->setMinimumHeight(300);
    const int widths[] = {112, 70, 165, 300};
    for (int column = 0; column < HistoryTableModel::columns; ++column) {
        table->horizontalHeader()->resizeSection(column, widths[column]);
    }
    connect(table, &QTableView::doubleClicked, this, &MainWindowController::openSelected);
    stack->addWidget(table, 1);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = mainWindow->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        mainWindow->move(frame.topLeft());
    }
}

void MainWindowController::installCallbacks() {
    const QPointer<MainWindowController> self(this);
    remapper->stateHandler = [self](bool running, bool trusted) {
        platform::dispatchMain([self, running, trusted] {
            if (self) {
                self->updatePermissionState(running, trusted);
            }
        });
    };
    remapper->hotKeysFailureHandler = [self](const QString& reason) {
        if (self) {
            self->status->setText(
                QStringLiteral("Phím tắt Command + 4 và Command + 5 đang tắt: %1").arg(reason));
        }
    };
    updatePermissionState(remapper->isRunning(), true);
    capture->onStatus = [self](const QString& text) {
        if (self) {
            self->status->setText(text);
        }
    };
    capture->onHistoryChanged = [self] {
        if (self) {
            self->reloadList();
        }
    };
    capture->onVideoFinished = [self] {
        if (self) {
            self->showWindow();
        }
    };
}

void MainWindowController::updatePermissionState(bool running, bool) {
    if (running) {
        permissionStatus->setText(QStringLiteral("● Command → Control đang hoạt động"));
        setTextColour(permissionStatus, QColor(52, 199, 89));
    } else {
        permissionStatus->setText(QStringLiteral("Command → Control đang tắt"));
        setTextColour(permissionStatus, QColor(255, 149, 0));
    }
}

void MainWindowController::reloadList() {
    history->setItems(database->recent());
}

void MainWindowController::showWindow() {
    mainWindow->show();
    mainWindow->raise();
    mainWindow->activateWindow();
}

void MainWindowController::reopen() {
    QWidget* shown = openEditor() ? openEditor()->window() : capture->shownWindow();
    if (shown == nullptr) {
        showWindow();
        return;
    }
    shown->raise();
    shown->activateWindow();
}

void MainWindowController::offerQuit(const std::function<void()>& quit) {
    auto* button = new QPushButton(QStringLiteral("Thoát"));
    connect(button, &QPushButton::clicked, this, quit);
    buttonRow->insertWidget(buttonRow->count() - 1, button);
}

void MainWindowController::hideWindow() {
    mainWindow->hide();
}

void MainWindowController::captureScreenshot() {
    hideWindow();
    if (capture->onStatus) {
        capture->onStatus(selectingText);
    }
    const QPointer<MainWindowController> self(this);
    capture->takeScreenshot([self](std::optional<QImage> image) {
        if (!self) {
            return;
        }
        if (!image) {
            if (self->status->text() == selectingText) {
                self->status->setText(QStringLiteral("Đã hủy chụp màn hình"));
            }
            self->showWindow();
            return;
        }
        self->openEditorWith(*image);
    });
}

void MainWindowController::openEditorWith(const QImage& image) {
    const QPointer<MainWindowController> self(this);
    // The editor is told apart from the others only once it exists.
    const auto which = std::make_shared<const ImageEditorController*>(nullptr);
    editors.push_back(std::make_unique<ImageEditorController>(
        image,
        [self, which](std::optional<QImage> edited, ImageEditorController::SaveAnswer answer) {
            if (!self) {
                answer(true);
                return;
            }
            self->editorFinished(*which, std::move(edited), std::move(answer));
        }));
    *which = editors.back().get();
    editors.back()->showWindow();
}

void MainWindowController::editorFinished(const ImageEditorController* finished,
                                          std::optional<QImage> image,
                                          ImageEditorController::SaveAnswer answer) {
    if (!image) {
        status->setText(QStringLiteral("Đã hủy ảnh chụp"));
        closeEditor(finished);
        return;
    }
    const QPointer<MainWindowController> self(this);
    capture->saveScreenshot(*image, [self, finished, answer](std::optional<QString> path) {
        answer(path.has_value());
        if (self && path) {
            self->closeEditor(finished);
        }
    });
}

void MainWindowController::closeEditor(const ImageEditorController* finished) {
    std::erase_if(editors, [finished](const auto& editor) { return editor.get() == finished; });
    if (editors.empty()) {
        showWindow();
    }
}

void MainWindowController::toggleVideo() {
    hideWindow();
    capture->startVideo();
}

void MainWindowController::refreshPermissionState() {
    if (mappingToggle->isChecked()) {
        remapper->enable();
    }
    updatePermissionState(remapper->isRunning(), true);
}

void MainWindowController::toggleMapping() {
    if (mappingToggle->isChecked()) {
        remapper->enable();
    } else {
        remapper->stop();
    }
}

void MainWindowController::requestPermission() {
    remapper->requestPermission();
}

void MainWindowController::openFolder() {
    QDir().mkpath(CaptureService::rootFolder());
    platform.opener->open(CaptureService::rootFolder());
}

void MainWindowController::openSelected() {
    const int row = table->currentIndex().row();
    const auto& items = history->items();
    if (row < 0 || row >= static_cast<int>(items.size())) {
        return;
    }
    platform.opener->open(items[static_cast<size_t>(row)].path);
}
