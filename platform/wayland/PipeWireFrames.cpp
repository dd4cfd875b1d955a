#include "platform/wayland/PipeWireFrames.h"

#include <fcntl.h>
#include <linux/dma-buf.h>
#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace platform {

namespace {

// DRM's code for a plain row-after-row layout, the one DMA-BUF layout a mapping can read.
constexpr uint64_t linearModifier = 0;

const spa_video_format acceptedFormats[] = {SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                                            SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA};

std::optional<QImage::Format> qtFormat(spa_video_format format) {
    switch (format) {
        case SPA_VIDEO_FORMAT_BGRx:
            return QImage::Format_RGB32;
        case SPA_VIDEO_FORMAT_BGRA:
            return QImage::Format_ARGB32;
        case SPA_VIDEO_FORMAT_RGBx:
            return QImage::Format_RGBX8888;
        case SPA_VIDEO_FORMAT_RGBA:
            return QImage::Format_RGBA8888;
        default:
            return std::nullopt;
    }
}

// The formats a node may send: any accepted pixel layout and size, at most framesPerSecond
// pictures a second; with dmaBuf, only as linear DMA-BUF buffers.
const spa_pod* videoFormats(spa_pod_builder& builder, int framesPerSecond, bool dmaBuf) {
    const spa_rectangle smallest{1, 1};
    const spa_rectangle usual{1920, 1080};
    const spa_rectangle largest{16384, 16384};
    const spa_fraction variable{0, 1};
    const spa_fraction fastest{static_cast<uint32_t>(framesPerSecond), 1};
    spa_pod_frame object{};
    spa_pod_builder_push_object(&builder, &object, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
    spa_pod_builder_add(&builder, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
                        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), 0);
    spa_pod_builder_prop(&builder, SPA_FORMAT_VIDEO_format, 0);
    spa_pod_frame choice{};
    spa_pod_builder_push_choice(&builder, &choice, SPA_CHOICE_Enum, 0);
    spa_pod_builder_id(&builder, acceptedFormats[0]);
    for (const spa_video_format format : acceptedFormats) {
        spa_pod_builder_id(&builder, format);
    }
    spa_pod_builder_pop(&builder, &choice);
    if (dmaBuf) {
        spa_pod_builder_prop(&builder, SPA_FORMAT_VIDEO_modifier,
                             SPA_POD_PROP_FLAG_MANDATORY | SPA_POD_PROP_FLAG_DONT_FIXATE);
        spa_pod_builder_push_choice(&builder, &choice, SPA_CHOICE_Enum, 0);
        spa_pod_builder_long(&builder, linearModifier);
        spa_pod_builder_long(&builder, linearModifier);
        spa_pod_builder_pop(&builder, &choice);
    }
    spa_pod_builder_add(&builder, SPA_FORMAT_VIDEO_size,
                        SPA_POD_CHOICE_RANGE_Rectangle(&usual, &smallest, &largest),
                        SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&variable),
                        SPA_FORMAT_VIDEO_maxFramerate,
                        SPA_POD_CHOICE_RANGE_Fraction(&fastest, &variable, &fastest), 0);
    return static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &object));
}

// A DMA-BUF plane mapped for reading while it lives; empty when the buffer cannot be mapped.
class MappedDmaBuf {
  public:
    explicit MappedDmaBuf(const spa_data& data)
        : fd(static_cast<int>(data.fd)), length(data.mapoffset + data.maxsize) {
        void* mapped = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, 0);
        if (mapped == MAP_FAILED) {
            return;
        }
        start = static_cast<const uchar*>(mapped);
        sync(DMA_BUF_SYNC_START);
        pixels = start + data.mapoffset;
    }
    ~MappedDmaBuf() {
        if (start) {
            sync(DMA_BUF_SYNC_END);
            ::munmap(const_cast<uchar*>(start), length);
        }
    }
    MappedDmaBuf(const MappedDmaBuf&) = delete;
    MappedDmaBuf& operator=(const MappedDmaBuf&) = delete;

    const uchar* pixels = nullptr;

  private:
    void sync(uint64_t flags) const {
        dma_buf_sync request{flags | DMA_BUF_SYNC_READ};
        ::ioctl(fd, DMA_BUF_IOCTL_SYNC, &request);
    }

    int fd;
    size_t length;
    const uchar* start = nullptr;
};

Error pipeWireError(const QString& what) {
    return Error::platform(QStringLiteral("PipeWire: ") + what);
}

}  // namespace

struct PipeWireFrames::Connection {
    PipeWireEvents events;
    quint32 node = 0;
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_registry* registry = nullptr;
    pw_stream* stream = nullptr;
    spa_hook coreListener{};
    spa_hook registryListener{};
    spa_hook streamListener{};
    // Set on PipeWire's thread only.
    QSize size;
    std::optional<QImage::Format> format;
    bool started = false;
    bool ended = false;

    ~Connection() {
        if (loop) {
            pw_thread_loop_stop(loop);
        }
        // Taking things down says nothing anyone needs to hear.
        for (spa_hook* listener : {&streamListener, &registryListener, &coreListener}) {
            if (listener->link.next) {
                spa_hook_remove(listener);
            }
        }
        if (stream) {
            pw_stream_destroy(stream);
        }
        if (registry) {
            pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry));
        }
        if (core) {
            pw_core_disconnect(core);
        }
        if (context) {
            pw_context_destroy(context);
        }
        if (loop) {
            pw_thread_loop_destroy(loop);
        }
    }

    void fail(const QString& why) {
        if (!started) {
            started = true;
            ended = true;
            events.started(pipeWireError(why));
        } else {
            end();
        }
    }

    void end() {
        if (started && !ended) {
            ended = true;
            events.ended();
        }
    }

    void formatChosen(const spa_pod* param) {
        spa_video_info_raw raw{};
        if (spa_format_video_raw_parse(param, &raw) < 0) {
            return;
        }
        size = QSize(static_cast<int>(raw.size.width), static_cast<int>(raw.size.height));
        format = qtFormat(raw.format);
        const bool dmaBuf = spa_pod_find_prop(param, nullptr, SPA_FORMAT_VIDEO_modifier);
        std::array<uint8_t, 1024> space{};
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(space.data(), space.size());
        const int dataTypes =
            dmaBuf ? 1 << SPA_DATA_DmaBuf : (1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr);
        const spa_pod* params[] = {
            static_cast<const spa_pod*>(spa_pod_builder_add_object(
                &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers,
                SPA_PARAM_BUFFERS_dataType, SPA_POD_Int(dataTypes))),
            static_cast<const spa_pod*>(spa_pod_builder_add_object(
                &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
                SPA_POD_Id(SPA_META_Header), SPA_PARAM_META_size,
                SPA_POD_Int(sizeof(spa_meta_header)))),
        };
        pw_stream_update_params(stream, params, 2);
    }

    void take(const pw_buffer& buffer) {
        const spa_buffer& pieces = *buffer.buffer;
        const auto* header = static_cast<const spa_meta_header*>(
            spa_buffer_find_meta_data(&pieces, SPA_META_Header, sizeof(spa_meta_header)));
        if (pieces.n_datas < 1 || !format || size.isEmpty() ||
            (header && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED))) {
            return;
        }
        const spa_data& data = pieces.datas[0];
        const spa_chunk& chunk = *data.chunk;
        if (chunk.size == 0 || (chunk.flags & SPA_CHUNK_FLAG_CORRUPTED)) {
            return;
        }
        std::optional<MappedDmaBuf> mapped;
        const uchar* start = static_cast<const uchar*>(data.data);
        if (data.type == SPA_DATA_DmaBuf) {
            mapped.emplace(data);
            start = mapped->pixels;
        }
        if (!start) {
            return;
        }
        const int stride = chunk.stride > 0 ? chunk.stride : size.width() * 4;
        const size_t needed = static_cast<size_t>(stride) * static_cast<size_t>(size.height());
        if (chunk.offset + needed > data.maxsize) {
            return;
        }
        events.picture(QImage(start + chunk.offset, size.width(), size.height(), stride, *format));
    }

    void process() {
        // Only the newest picture counts; older ones waiting behind it go straight back.
        pw_buffer* newest = pw_stream_dequeue_buffer(stream);
        while (pw_buffer* newer = newest ? pw_stream_dequeue_buffer(stream) : nullptr) {
            pw_stream_queue_buffer(stream, newest);
            newest = newer;
        }
        if (!newest) {
            return;
        }
        if (!ended) {
            take(*newest);
        }
        pw_stream_queue_buffer(stream, newest);
    }
};

namespace {

using Connection = PipeWireFrames::Connection;

void onStateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error) {
    auto& connection = *static_cast<Connection*>(data);
    if (state == PW_STREAM_STATE_STREAMING && !connection.started) {
        connection.started = true;
        connection.events.started(std::nullopt);
    } else if (state == PW_STREAM_STATE_ERROR) {
        connection.fail(QString::fromUtf8(error ? error : "?"));
    } else if (state == PW_STREAM_STATE_UNCONNECTED) {
        connection.fail(QStringLiteral("luồng đã ngắt"));
    }
}

void onParamChanged(void* data, uint32_t id, const spa_pod* param) {
    if (id == SPA_PARAM_Format && param) {
        static_cast<Connection*>(data)->formatChosen(param);
    }
}

void onProcess(void* data) {
    static_cast<Connection*>(data)->process();
}

void onCoreError(void* data, uint32_t id, int, int result, const char* message) {
    // Only the connection's own end matters; a failed request of some other object does not.
    if (id == PW_ID_CORE && result == -EPIPE) {
        static_cast<Connection*>(data)->fail(QString::fromUtf8(message ? message : "?"));
    }
}

void onGlobalRemoved(void* data, uint32_t id) {
    auto& connection = *static_cast<Connection*>(data);
    if (id == connection.node) {
        connection.fail(QStringLiteral("nguồn hình đã biến mất"));
    }
}

pw_stream_events streamEvents() {
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = onStateChanged;
    events.param_changed = onParamChanged;
    events.process = onProcess;
    return events;
}
const pw_stream_events streamListener = streamEvents();

pw_core_events coreEvents() {
    pw_core_events events{};
    events.version = PW_VERSION_CORE_EVENTS;
    events.error = onCoreError;
    return events;
}
const pw_core_events coreListener = coreEvents();

pw_registry_events registryEvents() {
    pw_registry_events events{};
    events.version = PW_VERSION_REGISTRY_EVENTS;
    events.global_remove = onGlobalRemoved;
    return events;
}
const pw_registry_events registryListener = registryEvents();

// Connects and starts reading; the thread loop's lock is held throughout.
std::optional<Error> connect(Connection& connection, int remote, int framesPerSecond) {
    connection.core = pw_context_connect_fd(connection.context, remote, nullptr, 0);
    if (!connection.core) {
        return pipeWireError(QStringLiteral("không kết nối được (%1)").arg(strerror(errno)));
    }
    pw_core_add_listener(connection.core, &connection.coreListener, &coreListener, &connection);
    connection.registry = pw_core_get_registry(connection.core, PW_VERSION_REGISTRY, 0);
    pw_registry_add_listener(connection.registry, &connection.registryListener, &registryListener,
                             &connection);
    connection.stream =
        pw_stream_new(connection.core, "Quorvastelin",
                      pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                        "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    if (!connection.stream) {
        return pipeWireError(QStringLiteral("không tạo được luồng (%1)").arg(strerror(errno)));
    }
    pw_stream_add_listener(connection.stream, &connection.streamListener, &streamListener,
                           &connection);
    std::array<uint8_t, 2048> space{};
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(space.data(), space.size());
    // DMA-BUF first, which a desktop with a GPU prefers; shared memory for all others.
    const spa_pod* formats[] = {videoFormats(builder, framesPerSecond, true),
                                videoFormats(builder, framesPerSecond, false)};
    const int connected = pw_stream_connect(
        connection.stream, PW_DIRECTION_INPUT, connection.node,
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                     PW_STREAM_FLAG_DONT_RECONNECT),
        formats, 2);
    if (connected < 0) {
        return pipeWireError(QStringLiteral("không nối được luồng (%1)").arg(strerror(-connected)));
    }
    return std::nullopt;
}

}  // namespace

Result<std::unique_ptr<PipeWireFrames>> PipeWireFrames::open(int remote, quint32 node,
                                                             int framesPerSecond,
                                                             PipeWireEvents events) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { pw_init(nullptr, nullptr); });
    auto connection = std::make_unique<Connection>();
    connection->events = std::move(events);
    connection->node = node;
    connection->loop = pw_thread_loop_new("Quorvastelin.ScreenCast", nullptr);
    if (!connection->loop) {
        ::close(remote);
        return pipeWireError(QStringLiteral("không tạo được vòng sự kiện"));
    }
    connection->context = pw_context_new(pw_thread_loop_get_loop(connection->loop), nullptr, 0);
    if (!connection->context || pw_thread_loop_start(connection->loop) < 0) {
        ::close(remote);
        return pipeWireError(QStringLiteral("không khởi động được"));
    }
    pw_thread_loop_lock(connection->loop);
    const std::optional<Error> failure = connect(*connection, remote, framesPerSecond);
    pw_thread_loop_unlock(connection->loop);
    if (failure) {
        return *failure;
    }
    return std::unique_ptr<PipeWireFrames>(new PipeWireFrames(std::move(connection)));
}

PipeWireFrames::PipeWireFrames(std::unique_ptr<Connection> connection)
    : connection(std::move(connection)) {}

PipeWireFrames::~PipeWireFrames() = default;

}  // namespace platform
