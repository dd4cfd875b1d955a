#pragma once

#include <QByteArray>
#include <QImage>

// A picture as PNG bytes, as QImage would write them (RGBA when the format has alpha, RGB
// otherwise, 8 bits a channel, each row's filter chosen alike) but several times faster: rows
// are filtered on all cores and deflated by libdeflate. Empty for a null image.
QByteArray encodePng(const QImage& image);
