#include "platform/wayland/OutputCopier.h"

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>

namespace platform {

namespace {

// The screen-copy protocol's two interfaces, declared by hand as Debian ships no description
// of them; the order of requests and events is the protocol's, which fixes their numbers.
extern const wl_interface frameInterface;
const wl_interface* frameTypes[] = {&wl_buffer_interface, nullptr, nullptr, nullptr, nullptr};
const wl_message frameRequests[] = {
    {"copy", "o", frameTypes},
    {"destroy", "", frameTypes},
    {"copy_with_damage", "2o", frameTypes},
};
const wl_message frameEvents[] = {
    {"buffer", "uuuu", frameTypes + 1},   {"flags", "u", frameTypes + 1},
    {"ready", "uuu", frameTypes + 1},     {"failed", "", frameTypes + 1},
    {"damage", "2uuuu", frameTypes + 1},  {"linux_dmabuf", "3uuu", frameTypes + 1},
    {"buffer_done", "3", frameTypes + 1},
};
const wl_interface frameInterface = {
    "zwlr_screencopy_frame_v1", 3, 3, frameRequests, 7, frameEvents};
const wl_interface* managerTypes[] = {
    &frameInterface, nullptr, &wl_output_interface, nullptr, nullptr, nullptr, nullptr};
const wl_message managerRequests[] = {
    {"capture_output", "nio", managerTypes},
    {"capture_output_region", "nioiiii", managerTypes},
    {"destroy", "", managerTypes},
};
const wl_interface managerInterface = {
    "zwlr_screencopy_manager_v1", 3, 3, managerRequests, 0, nullptr};

enum : uint32_t { captureOutput = 0, copyFrame = 0, destroyFrame = 1 };
constexpr uint32_t yInverted = 1;

struct Output {
    wl_output* proxy = nullptr;
    QString name;
    QPoint position;
    QSize pixels;
    bool turned = false;
};

struct Globals {
    wl_proxy* manager = nullptr;
    wl_shm* shm = nullptr;
    std::vector<std::unique_ptr<Output>> outputs;
};

void onGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t,
                const char*, const char*, int32_t transform) {
    static_cast<Output*>(data)->position = QPoint(x, y);
    // Odd transforms turn the output a quarter, swapping its width and height on screen.
    static_cast<Output*>(data)->turned = (transform % 2) != 0;
}
void onMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
    if ((flags & WL_OUTPUT_MODE_CURRENT) != 0) {
        static_cast<Output*>(data)->pixels = QSize(width, height);
    }
}
void onDone(void*, wl_output*) {}
void onScale(void*, wl_output*, int32_t) {}
void onName(void* data, wl_output*, const char* name) {
    static_cast<Output*>(data)->name = QString::fromUtf8(name);
}
void onDescription(void*, wl_output*, const char*) {}
const wl_output_listener outputListener = {onGeometry, onMode, onDone,
                                           onScale,    onName, onDescription};

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
              uint32_t version) {
    auto* globals = static_cast<Globals*>(data);
    if (std::strcmp(interface, managerInterface.name) == 0) {
        globals->manager =
            static_cast<wl_proxy*>(wl_registry_bind(registry, name, &managerInterface, 1));
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
        globals->shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
        auto output = std::make_unique<Output>();
        output->proxy = static_cast<wl_output*>(
            wl_registry_bind(registry, name, &wl_output_interface, std::min(version, 4u)));
        wl_output_add_listener(output->proxy, &outputListener, output.get());
        globals->outputs.push_back(std::move(output));
    }
}
void onGlobalRemoved(void*, wl_registry*, uint32_t) {}
const wl_registry_listener registryListener = {onGlobal, onGlobalRemoved};

// One copy of one output, driven to its end by the frame's events.
struct Copy {
    uint32_t format = 0;
    QSize size;
    uint32_t stride = 0;
    bool offered = false;
    bool inverted = false;
    bool finished = false;
    bool succeeded = false;
};

void onBuffer(void* data, wl_proxy*, uint32_t format, uint32_t width, uint32_t height,
              uint32_t stride) {
    auto* copy = static_cast<Copy*>(data);
    // Both 32-bit formats lay out as Qt's RGB32 on a little-endian machine.
    if (!copy->offered && (format == WL_SHM_FORMAT_XRGB8888 || format == WL_SHM_FORMAT_ARGB8888)) {
        copy->format = format;
        copy->size = QSize(static_cast<int>(width), static_cast<int>(height));
        copy->stride = stride;
        copy->offered = true;
    }
}
void onFlags(void* data, wl_proxy*, uint32_t flags) {
    static_cast<Copy*>(data)->inverted = (flags & yInverted) != 0;
}
void onReady(void* data, wl_proxy*, uint32_t, uint32_t, uint32_t) {
    static_cast<Copy*>(data)->finished = true;
    static_cast<Copy*>(data)->succeeded = true;
}
void onFailed(void* data, wl_proxy*) {
    static_cast<Copy*>(data)->finished = true;
}
void onDamage(void*, wl_proxy*, uint32_t, uint32_t, uint32_t, uint32_t) {}
void onDmabuf(void*, wl_proxy*, uint32_t, uint32_t, uint32_t) {}
void onBufferDone(void*, wl_proxy*) {}

struct FrameListener {
    void (*buffer)(void*, wl_proxy*, uint32_t, uint32_t, uint32_t, uint32_t);
    void (*flags)(void*, wl_proxy*, uint32_t);
    void (*ready)(void*, wl_proxy*, uint32_t, uint32_t, uint32_t);
    void (*failed)(void*, wl_proxy*);
    void (*damage)(void*, wl_proxy*, uint32_t, uint32_t, uint32_t, uint32_t);
    void (*linuxDmabuf)(void*, wl_proxy*, uint32_t, uint32_t, uint32_t);
    void (*bufferDone)(void*, wl_proxy*);
};
const FrameListener frameListener = {onBuffer, onFlags,  onReady,     onFailed,
                                     onDamage, onDmabuf, onBufferDone};

// Handles the compositor's events until the flag is set, for at most two seconds: a desktop
// that never answers costs the copy, not the program.
void waitFor(wl_display* display, const bool& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!done && std::chrono::steady_clock::now() < deadline) {
        while (wl_display_prepare_read(display) != 0) {
            wl_display_dispatch_pending(display);
        }
        wl_display_flush(display);
        pollfd events{wl_display_get_fd(display), POLLIN, 0};
        if (poll(&events, 1, 100) > 0) {
            wl_display_read_events(display);
        } else {
            wl_display_cancel_read(display);
        }
        if (wl_display_dispatch_pending(display) < 0) {
            return;
        }
    }
}

QImage copyOutput(wl_display* display, const Globals& globals, wl_output* output) {
    Copy copy;
    auto* frame = wl_proxy_marshal_constructor(globals.manager, captureOutput, &frameInterface,
                                               nullptr, 0, output);
    wl_proxy_add_listener(
        frame, reinterpret_cast<void (**)(void)>(const_cast<FrameListener*>(&frameListener)),
        &copy);
    wl_display_roundtrip(display);
    QImage image;
    if (copy.offered) {
        const size_t bytes = static_cast<size_t>(copy.stride) * copy.size.height();
        const int memory = memfd_create("quorvastelin-screen-copy", MFD_CLOEXEC);
        void* pixels = memory >= 0 && ftruncate(memory, static_cast<off_t>(bytes)) == 0
                           ? mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, memory, 0)
                           : MAP_FAILED;
        if (pixels != MAP_FAILED) {
            wl_shm_pool* pool =
                wl_shm_create_pool(globals.shm, memory, static_cast<int32_t>(bytes));
            wl_buffer* buffer =
                wl_shm_pool_create_buffer(pool, 0, copy.size.width(), copy.size.height(),
                                          static_cast<int32_t>(copy.stride), copy.format);
            wl_proxy_marshal(frame, copyFrame, buffer);
            waitFor(display, copy.finished);
            if (copy.succeeded) {
                // A deep copy: the shared memory goes away below.
                image =
                    QImage(static_cast<const uchar*>(pixels), copy.size.width(), copy.size.height(),
                           static_cast<qsizetype>(copy.stride), QImage::Format_RGB32)
                        .copy();
                if (copy.inverted) {
                    image = image.mirrored(false, true);
                }
            }
            wl_buffer_destroy(buffer);
            wl_shm_pool_destroy(pool);
            munmap(pixels, bytes);
        }
        if (memory >= 0) {
            close(memory);
        }
    }
    wl_proxy_marshal(frame, destroyFrame);
    wl_proxy_destroy(frame);
    return image;
}

}  // namespace

namespace {

// Calls visit with each screen's output, over a connection of its own, so nothing here waits on
// or disturbs Qt's.
void visitOutputs(const std::vector<QtScreenInfo>& screens,
                  const std::function<void(wl_display*, const Globals&, const QtScreenInfo&,
                                           const Output&)>& visit) {
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        return;
    }
    Globals globals;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &globals);
    wl_display_roundtrip(display);
    wl_display_roundtrip(display);
    for (const QtScreenInfo& screen : screens) {
        for (const auto& output : globals.outputs) {
            // Outputs are told apart by name where the compositor says it, else by place.
            if (output->name.isEmpty() ? output->position == screen.geometry.topLeft()
                                       : output->name == screen.name) {
                visit(display, globals, screen, *output);
                break;
            }
        }
    }
    for (const auto& output : globals.outputs) {
        wl_output_destroy(output->proxy);
    }
    if (globals.shm != nullptr) {
        wl_shm_destroy(globals.shm);
    }
    if (globals.manager != nullptr) {
        wl_proxy_destroy(globals.manager);
    }
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
}

}  // namespace

std::map<QString, QImage> copyOutputs(const std::vector<QtScreenInfo>& screens) {
    std::map<QString, QImage> pixels;
    visitOutputs(screens, [&](wl_display* display, const Globals& globals,
                              const QtScreenInfo& screen, const Output& output) {
        if (globals.manager != nullptr && globals.shm != nullptr) {
            const QImage image = copyOutput(display, globals, output.proxy);
            if (!image.isNull()) {
                pixels[screen.name] = image;
            }
        }
    });
    return pixels;
}

std::map<QString, QSize> outputPixelSizes(const std::vector<QtScreenInfo>& screens) {
    std::map<QString, QSize> sizes;
    visitOutputs(screens, [&](wl_display*, const Globals&, const QtScreenInfo& screen,
                              const Output& output) {
        if (!output.pixels.isEmpty()) {
            sizes[screen.name] = output.turned ? output.pixels.transposed() : output.pixels;
        }
    });
    return sizes;
}

}  // namespace platform
