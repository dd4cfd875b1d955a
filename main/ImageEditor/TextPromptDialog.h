#pragma once

#include <QDialog>

class QLineEdit;

// The modal question of the text tool: "Thêm chữ" with a 360 × 60 field, "Thêm" and "Hủy".
class TextPromptDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TextPromptDialog(QWidget* parent);
    QString text() const;

  private:
    QLineEdit* field;
};
