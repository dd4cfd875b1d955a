#include "main/ImageEditor/EditTool.h"

std::optional<EditTool> editToolFromRaw(int rawValue) {
    if (rawValue < 0 || rawValue >= editToolCount) {
        return std::nullopt;
    }
    return static_cast<EditTool>(rawValue);
}

QString editToolTitle(EditTool tool) {
    switch (tool) {
        case EditTool::pen:
            return QStringLiteral("Bút");
        case EditTool::marker:
            return QStringLiteral("Đánh dấu");
        case EditTool::arrow:
            return QStringLiteral("Mũi tên");
        case EditTool::rectangle:
            return QStringLiteral("Chữ nhật");
        case EditTool::ellipse:
            return QStringLiteral("Elip");
        case EditTool::text:
            return QStringLiteral("Chữ");
        case EditTool::insertImage:
            return QStringLiteral("Chèn ảnh");
        case EditTool::crop:
            return QStringLiteral("Cắt");
        case EditTool::pixelate:
            return QStringLiteral("Làm mờ");
    }
    return {};
}
