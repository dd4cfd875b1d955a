#include "platform/SingleInstance.h"

#include <sys/socket.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>

namespace platform {

namespace {

constexpr std::pair<InstanceRequest, const char*> requestWords[] = {
    {InstanceRequest::reopen, "reopen"},
    {InstanceRequest::screenshot, "screenshot"},
    {InstanceRequest::record, "record"},
};

// A Wayland session may also run an X server for older programs; the compositor is the display.
QString instanceName() {
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty()) {
        display = qEnvironmentVariable("DISPLAY");
    }
    display.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")), QStringLiteral("_"));
    return QStringLiteral("quorvastelin-%1-%2").arg(getuid()).arg(display);
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

SingleInstance::SingleInstance() : name(instanceName()) {}

SingleInstance::~SingleInstance() = default;

std::optional<qint64> SingleInstance::runningPrimary() {
    QLocalSocket socket;
    socket.connectToServer(instanceName());
    if (!socket.waitForConnected(500)) {
        return std::nullopt;
    }
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer,
                     &size) != 0) {
        return std::nullopt;
    }
    return peer.pid;
}

bool SingleInstance::handOver(InstanceRequest request) {
    QLocalSocket socket;
    socket.connectToServer(instanceName());
    if (!socket.waitForConnected(500)) {
        return false;
    }
    for (const auto& [candidate, word] : requestWords) {
        if (candidate == request) {
            socket.write(QByteArray(word) + '\n');
        }
    }
    socket.waitForBytesWritten(500);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::becomePrimary(InstanceRequest request) {
    if (handOver(request)) {
        return false;
    }
    // Nobody answered: a server name left by a crashed instance is stale.
    QLocalServer::removeServer(name);
    server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    server->listen(name);
    connect(server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server->nextPendingConnection()) {
            connect(client, &QLocalSocket::readyRead, this,
                    [this, client] { readRequests(client); });
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        }
    });
    return true;
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
