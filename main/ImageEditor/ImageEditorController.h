#pragma once

#include "main/ImageEditor/InsertImageFile.h"
#include "main/ImageEditor/TextTool.h"
#include "platform/Clipboard.h"

#include <QImage>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>

class ColorWell;
class EditorCanvasView;
class QComboBox;
class QPushButton;
class QScrollArea;
class QWidget;

// The platform services the editor reaches; tests hand in fakes for the modal questions.
struct ImageEditorPlatform {
    std::shared_ptr<platform::Clipboard> clipboard = std::make_shared<platform::SystemClipboard>();
    ImageFileChooser chooseImageFile = ::chooseImageFile;
    TextPrompt promptText = askForText;
};

// The annotation window for one image. Its completion takes an independent copy of the edited
// image after "Lưu & sao chép" and, then or later, answers whether it was saved: when it was
// not, the window stays open, or opens again, with the picture, which may be saved again.
// After "Hủy" or when the window is closed the completion takes nothing, once. The owner may
// release the controller inside the completion or once it has answered.
class ImageEditorController : public QObject {
    Q_OBJECT
  public:
    using SaveAnswer = std::function<void(bool saved)>;
    using Completion = std::function<void(std::optional<QImage>, SaveAnswer)>;

    ImageEditorController(const QImage& image, Completion completion,
                          ImageEditorPlatform platform = {});
    ~ImageEditorController() override;

    // Shows the window in front and gives it the keyboard.
    void showWindow();
    QWidget* window() const { return editorWindow.get(); }
    EditorCanvasView* canvasView() const { return canvas; }

    // The toolbar's actions.
    void selectTool(int tag);
    void colorChanged();
    void widthChanged();
    void undo();
    void redo();
    void zoomChanged();
    void copyImage();
    void cancel();
    void save();

  private:
    void windowWillClose();
    void finish(std::optional<QImage> result);
    void buildInterface();
    QPushButton* button(const QString& title, std::function<void()> action);

    std::unique_ptr<QWidget> editorWindow;
    EditorCanvasView* canvas;
    ColorWell* colorWell;
    QComboBox* widthPicker;
    QComboBox* zoomPicker;
    QScrollArea* scrollView;
    std::optional<QImage> insertImage;
    Completion completion;
    bool finished = false;
    ImageEditorPlatform platform;
};
