#include "platform/wayland/SwayIpc.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstring>

namespace platform {

namespace {

constexpr char magic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr int headerSize = sizeof magic + 2 * sizeof(quint32);
constexpr int answerTimeoutMs = 2000;
constexpr quint32 runCommandType = 0;
constexpr quint32 subscribeType = 2;
constexpr quint32 getConfigType = 9;
constexpr quint32 eventBit = 0x80000000u;

// Reads exactly size bytes, waiting at most timeoutMs for each part.
bool readFully(int socket, char* into, int size, int timeoutMs) {
    int done = 0;
    while (done < size) {
        pollfd waiting{socket, POLLIN, 0};
        if (::poll(&waiting, 1, timeoutMs) <= 0) {
            return false;
        }
        const ssize_t got = ::read(socket, into + done, static_cast<size_t>(size - done));
        if (got <= 0) {
            return false;
        }
        done += static_cast<int>(got);
    }
    return true;
}

}  // namespace

QString swayQuoted(const QString& text) {
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

SwayIpc::SwayIpc(const QString& socketPath) {
    const QByteArray path = socketPath.toLocal8Bit();
    sockaddr_un address{};
    if (path.isEmpty() || static_cast<size_t>(path.size()) >= sizeof address.sun_path) {
        return;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket >= 0 &&
        ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(socket);
        socket = -1;
    }
}

SwayIpc::~SwayIpc() {
    if (socket >= 0) {
        ::close(socket);
    }
}

bool SwayIpc::runCommand(const QString& command) {
    const std::optional<QByteArray> answer = request(runCommandType, command.toUtf8());
    if (!answer) {
        return false;
    }
    const QJsonArray results = QJsonDocument::fromJson(*answer).array();
    if (results.isEmpty()) {
        return false;
    }
    for (const QJsonValue& result : results) {
        if (!result.toObject().value(QStringLiteral("success")).toBool()) {
            return false;
        }
    }
    return true;
}

std::optional<QString> SwayIpc::config() {
    const std::optional<QByteArray> answer = request(getConfigType, {});
    if (!answer) {
        return std::nullopt;
    }
    const QJsonValue text =
        QJsonDocument::fromJson(*answer).object().value(QStringLiteral("config"));
    if (!text.isString()) {
        return std::nullopt;
    }
    return text.toString();
}

bool SwayIpc::watchReloads() {
    const std::optional<QByteArray> answer =
        request(subscribeType, QByteArrayLiteral("[\"workspace\"]"));
    return answer &&
           QJsonDocument::fromJson(*answer).object().value(QStringLiteral("success")).toBool();
}

bool SwayIpc::reloadedSinceWatching() {
    if (socket < 0) {
        return true;
    }
    for (;;) {
        pollfd waiting{socket, POLLIN, 0};
        if (::poll(&waiting, 1, 0) <= 0) {
            return false;
        }
        const auto message = receive(answerTimeoutMs);
        if (!message) {
            return true;
        }
        const QJsonObject event = QJsonDocument::fromJson(message->second).object();
        if (event.value(QStringLiteral("change")).toString() == QStringLiteral("reload")) {
            return true;
        }
    }
}

std::optional<QByteArray> SwayIpc::request(quint32 type, const QByteArray& payload) {
    if (!send(type, payload)) {
        return std::nullopt;
    }
    // Events of an earlier subscription may come before the answer.
    for (;;) {
        auto message = receive(answerTimeoutMs);
        if (!message) {
            return std::nullopt;
        }
        if (message->first == type) {
            return message->second;
        }
        if ((message->first & eventBit) == 0) {
            return std::nullopt;
        }
    }
}

bool SwayIpc::send(quint32 type, const QByteArray& payload) {
    if (socket < 0) {
        return false;
    }
    QByteArray message(magic, sizeof magic);
    const auto length = static_cast<quint32>(payload.size());
    message.append(reinterpret_cast<const char*>(&length), sizeof length);
    message.append(reinterpret_cast<const char*>(&type), sizeof type);
    message.append(payload);
    qsizetype sent = 0;
    while (sent < message.size()) {
        const ssize_t written = ::send(socket, message.constData() + sent,
                                       static_cast<size_t>(message.size() - sent), MSG_NOSIGNAL);
        if (written <= 0) {
            return false;
        }
        sent += written;
    }
    return true;
}

std::optional<std::pair<quint32, QByteArray>> SwayIpc::receive(int timeoutMs) {
    char header[headerSize];
    if (!readFully(socket, header, headerSize, timeoutMs) ||
        std::memcmp(header, magic, sizeof magic) != 0) {
        return std::nullopt;
    }
    quint32 length = 0;
    quint32 type = 0;
    std::memcpy(&length, header + sizeof magic, sizeof length);
    std::memcpy(&type, header + sizeof magic + sizeof length, sizeof type);
    // sway's answers are small; a huge length means we lost the message boundaries.
    if (length > 16u * 1024 * 1024) {
        return std::nullopt;
    }
    QByteArray payload(static_cast<qsizetype>(length), Qt::Uninitialized);
    if (!readFully(socket, payload.data(), static_cast<int>(length), timeoutMs)) {
        return std::nullopt;
    }
    return std::pair{type, payload};
}

}  // namespace platform
