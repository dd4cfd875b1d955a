#pragma once

#include <QByteArray>
#include <QImage>

namespace platform {

class Clipboard {
  public:
    virtual ~Clipboard() = default;
    // Replaces the clipboard with these bytes under image/png and no other type.
    virtual void setPng(const QByteArray& png) = 0;
    // Replaces the clipboard with a picture, offered in the usual image types.
    virtual void setImage(const QImage& image) = 0;
};

class SystemClipboard : public Clipboard {
  public:
    void setPng(const QByteArray& png) override;
    void setImage(const QImage& image) override;
};

}  // namespace platform
