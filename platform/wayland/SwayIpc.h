#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace platform {

// One connection to sway's IPC socket (SWAYSOCK). Blocking, with a short timeout, so that it
// also serves the key guardian, which has no event loop.
class SwayIpc {
  public:
    explicit SwayIpc(const QString& socketPath = qEnvironmentVariable("SWAYSOCK"));
    ~SwayIpc();
    SwayIpc(const SwayIpc&) = delete;
    SwayIpc& operator=(const SwayIpc&) = delete;

    bool isConnected() const { return socket >= 0; }
    // True when sway ran every command in the list.
    bool runCommand(const QString& command);
    // The configuration text sway last loaded.
    std::optional<QString> config();
    // From now on, sway's reloads are noted on this connection.
    bool watchReloads();
    // Whether sway reloaded its configuration, or went away, since watchReloads().
    bool reloadedSinceWatching();

  private:
    std::optional<QByteArray> request(quint32 type, const QByteArray& payload);
    bool send(quint32 type, const QByteArray& payload);
    std::optional<std::pair<quint32, QByteArray>> receive(int timeoutMs);

    int socket = -1;
};

// sway's quoting for one command argument.
QString swayQuoted(const QString& text);

}  // namespace platform
