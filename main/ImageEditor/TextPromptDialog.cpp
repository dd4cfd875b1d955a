#include "main/ImageEditor/TextPromptDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TextPromptDialog::TextPromptDialog(QWidget* parent) : QDialog(parent), field(new QLineEdit) {
    const QString message = QStringLiteral("Thêm chữ");
    setWindowTitle(message);
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(message);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);
    field->setFixedSize(360, 60);
    field->setPlaceholderText(QStringLiteral("Nhập nội dung…"));
    layout->addWidget(field);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* cancel = new QPushButton(QStringLiteral("Hủy"));
    auto* add = new QPushButton(QStringLiteral("Thêm"));
    add->setDefault(true);
    buttons->addWidget(cancel);
    buttons->addWidget(add);
    layout->addLayout(buttons);
    connect(add, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString TextPromptDialog::text() const {
    return field->text();
}
