#pragma once

#include <QString>
#include <optional>

// The editor's tools; the raw values are the toolbar buttons' tags.
enum class EditTool {
    pen = 0,
    marker = 1,
    arrow = 2,
    rectangle = 3,
    ellipse = 4,
    text = 5,
    insertImage = 6,
    crop = 7,
    pixelate = 8,
};

inline constexpr int editToolCount = 9;

// The tool with this raw value, or nothing outside 0 to 8.
std::optional<EditTool> editToolFromRaw(int rawValue);

// The tool's toolbar title.
QString editToolTitle(EditTool tool);
