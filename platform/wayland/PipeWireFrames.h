#pragma once

#include "platform/Error.h"

#include <QImage>
#include <functional>
#include <memory>
#include <optional>

namespace platform {

// What a PipeWire video node tells its consumer, on PipeWire's own thread.
struct PipeWireEvents {
    // Once: the node streams, or it could not be reached.
    std::function<void(std::optional<Error>)> started;
    // Each new picture; the pixels are the node's own buffer, valid only during the call.
    std::function<void(const QImage& pixels)> picture;
    // Once, after starting: the node went away or failed.
    std::function<void()> ended;
};

// Takes the pictures of one video node on a PipeWire connection that a desktop portal opened:
// shared-memory buffers, or DMA-BUF ones of a linear layout, which can be read by mapping them.
class PipeWireFrames {
  public:
    // remote: the connection, which the frames take over; node: the node to read, asked for at
    // most framesPerSecond pictures a second.
    static Result<std::unique_ptr<PipeWireFrames>> open(int remote, quint32 node,
                                                        int framesPerSecond, PipeWireEvents events);
    // Waits for PipeWire's thread to end, so no event comes afterwards; never call it from an
    // event.
    ~PipeWireFrames();
    PipeWireFrames(const PipeWireFrames&) = delete;
    PipeWireFrames& operator=(const PipeWireFrames&) = delete;

    struct Connection;

  private:
    explicit PipeWireFrames(std::unique_ptr<Connection> connection);
    std::unique_ptr<Connection> connection;
};

}  // namespace platform
