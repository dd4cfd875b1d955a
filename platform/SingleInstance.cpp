#include "platform/SingleInstance.h"

#include "platform/Error.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QThread>

namespace platform {

namespace {

constexpr std::pair<InstanceRequest, const char*> requestWords[] = {
    {InstanceRequest::reopen, "reopen"},
    {InstanceRequest::screenshot, "screenshot"},
    {InstanceRequest::record, "record"},
};

// A Wayland session may also run an X server for older programs; the compositor is the display.
QString displayName() {
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty()) {
        display = qEnvironmentVariable("DISPLAY");
    }
    display.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")), QStringLiteral("_"));
    return display;
}

bool isPrivateFolder(const QByteArray& path) {
    struct stat info {};
    return ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}

// The session's runtime folder, or else one of ours under /tmp. Anyone may take a name under
// /tmp first, so every start tries the same few names in the same order and settles on the
// first that is a folder of this user's that nobody else can enter.
Result<QString> channelFolder(bool create) {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateFolder(runtime)) {
        return QFile::decodeName(runtime);
    }
    const QByteArray base = "/tmp/quorvastelin-" + QByteArray::number(::getuid());
    for (int attempt = 0; attempt < 8; ++attempt) {
        const QByteArray folder = attempt == 0 ? base : base + '-' + QByteArray::number(attempt);
        if (create) {
            ::mkdir(folder.constData(), 0700);
        }
        if (isPrivateFolder(folder)) {
            return QFile::decodeName(folder);
        }
    }
    return Error::platform(QStringLiteral("không có thư mục riêng nào của người dùng trong /tmp"));
}

QString channelPath(const QString& folder, const char* kind) {
    return folder + QStringLiteral("/quorvastelin-") + displayName() + QLatin1Char('.') +
           QLatin1String(kind);
}

bool isOwnUser(qintptr descriptor) {
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
           peer.uid == ::getuid();
}

// The instance running on this display for this user; nothing when none answers.
std::unique_ptr<QLocalSocket> connectToPrimary() {
    const Result<QString> folder = channelFolder(false);
    if (!folder.ok()) {
        return nullptr;
    }
    auto socket = std::make_unique<QLocalSocket>();
    socket->connectToServer(channelPath(folder.value(), "socket"));
    if (!socket->waitForConnected(500) || !isOwnUser(socket->socketDescriptor())) {
        return nullptr;
    }
    return socket;
}

QString shellQuoted(const QString& text) {
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

}  // namespace

std::optional<InstanceRequest> requestFromArguments(const QStringList& arguments) {
    if (arguments.isEmpty()) {
        return InstanceRequest::reopen;
    }
    if (arguments.size() == 1 && arguments[0] == QStringLiteral("--screenshot")) {
        return InstanceRequest::screenshot;
    }
    if (arguments.size() == 1 && arguments[0] == QStringLiteral("--record")) {
        return InstanceRequest::record;
    }
    return std::nullopt;
}

std::optional<InstanceRequest> requestFromArguments(int argc, char** argv) {
    QStringList arguments;
    for (int index = 1; index < argc; ++index) {
        arguments << QString::fromLocal8Bit(argv[index]);
    }
    return requestFromArguments(arguments);
}

QString commandEntryLine(const QString& argument) {
    return shellQuoted(QCoreApplication::applicationDirPath() +
                       QStringLiteral("/quorvastelin-command")) +
           QLatin1Char(' ') + argument;
}

std::optional<QString> commandEntryProgram(const QString& line) {
    static const QRegularExpression entry(QStringLiteral(R"(^'((?:[^']|'\\'')*)' )"));
    const QRegularExpressionMatch match = entry.match(line);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    return match.captured(1).replace(QStringLiteral("'\\''"), QStringLiteral("'"));
}

SingleInstance::SingleInstance() = default;

SingleInstance::~SingleInstance() = default;

std::optional<qint64> SingleInstance::runningPrimary() {
    const std::unique_ptr<QLocalSocket> socket = connectToPrimary();
    ucred peer{};
    socklen_t size = sizeof peer;
    if (!socket || ::getsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET,
                                SO_PEERCRED, &peer, &size) != 0) {
        return std::nullopt;
    }
    return peer.pid;
}

bool SingleInstance::handOver(InstanceRequest request) {
    const std::unique_ptr<QLocalSocket> socket = connectToPrimary();
    if (!socket) {
        return false;
    }
    for (const auto& [candidate, word] : requestWords) {
        if (candidate == request) {
            socket->write(QByteArray(word) + '\n');
        }
    }
    socket->waitForBytesWritten(500);
    socket->disconnectFromServer();
    return true;
}

SingleInstance::Role SingleInstance::becomePrimary(InstanceRequest request) {
    if (handOver(request)) {
        return Role::handedOver;
    }
    const Result<QString> folder = channelFolder(true);
    if (!folder.ok()) {
        failure = folder.error().description;
        return Role::primary;
    }
    // The holder of the lock is the primary; a start that finds it taken waits for the holder
    // to listen and hands over.
    constexpr int waitStepMilliseconds = 50;
    constexpr int longestWaitMilliseconds = 3000;
    for (int waited = 0; !(primaryLock = FileLock::tryAcquire(channelPath(folder.value(), "lock")));
         waited += waitStepMilliseconds) {
        if (handOver(request)) {
            return Role::handedOver;
        }
        if (waited >= longestWaitMilliseconds) {
            return Role::unreachable;
        }
        QThread::msleep(waitStepMilliseconds);
    }
    listen(channelPath(folder.value(), "socket"));
    return Role::primary;
}

void SingleInstance::listen(const QString& path) {
    // Under the lock, a socket left at the name is a dead instance's.
    QLocalServer::removeServer(path);
    server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(path)) {
        failure = server->errorString();
        server.reset();
        return;
    }
    connect(server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            if (!isOwnUser(client->socketDescriptor())) {
                client->abort();
                continue;
            }
            connect(client, &QLocalSocket::readyRead, this,
                    [this, client] { readRequests(client); });
        }
    });
}

void SingleInstance::readRequests(QLocalSocket* client) {
    while (client->canReadLine()) {
        const QByteArray line = client->readLine().trimmed();
        for (const auto& [request, word] : requestWords) {
            if (line == word && onRequest) {
                onRequest(request);
            }
        }
    }
}

}  // namespace platform

// The meta-object lives with the class, so that what links this unit alone links nothing else.
#include "moc_SingleInstance.cpp"
