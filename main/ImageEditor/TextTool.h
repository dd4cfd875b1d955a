#pragma once

#include "main/ImageEditor/CanvasTool.h"

#include <QString>
#include <functional>

class QWidget;

// Asks for the text to place; nothing when the user dismissed the question.
using TextPrompt = std::function<std::optional<QString>(QWidget* parent)>;

// The real question: the modal "Thêm chữ" dialog.
std::optional<QString> askForText(QWidget* parent);

// Font size of placed text, in image units: six times the line width, never under 18.
qreal textFontSize(qreal lineWidth);

// Places text where the press landed; it acts on the press alone and has no preview.
class TextTool : public CanvasTool {
  public:
    TextTool(TextPrompt prompt, QWidget* dialogParent)
        : prompt(std::move(prompt)), dialogParent(dialogParent) {}

    bool press(EditorDocument& document, const Gesture& gesture) override;
    void commit(EditorDocument&, const Gesture&) override {}
    void preview(QPainter&, const Gesture&) const override {}

  private:
    TextPrompt prompt;
    QWidget* dialogParent;
};
