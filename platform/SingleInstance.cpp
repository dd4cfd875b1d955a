#include "platform/SingleInstance.h"

#include <sys/socket.h>
#include <unistd.h>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>

namespace platform {

namespace {

const QByteArray reopenRequest = "reopen\n";

QString instanceName() {
    QString display = qEnvironmentVariable("DISPLAY");
    display.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")), QStringLiteral("_"));
    return QStringLiteral("quorvastelin-%1-%2").arg(getuid()).arg(display);
}

}  // namespace

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

bool SingleInstance::becomePrimary() {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (socket.waitForConnected(500)) {
        socket.write(reopenRequest);
        socket.waitForBytesWritten(500);
        socket.disconnectFromServer();
        return false;
    }
    // Nobody answered: a server name left by a crashed instance is stale.
    QLocalServer::removeServer(name);
    server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    server->listen(name);
    connect(server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server->nextPendingConnection()) {
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (client->readAll().contains("reopen") && onReopen) {
                    onReopen();
                }
            });
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        }
    });
    return true;
}

}  // namespace platform
