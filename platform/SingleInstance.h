#pragma once

#include "platform/FileLock.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class QLocalServer;
class QLocalSocket;

namespace platform {

// What a start of the program asks of the instance already running.
enum class InstanceRequest { reopen, screenshot, record };

// The program's arguments: none (reopen), "--screenshot" or "--record"; nothing for anything
// else.
std::optional<InstanceRequest> requestFromArguments(const QStringList& arguments);
std::optional<InstanceRequest> requestFromArguments(int argc, char** argv);
inline constexpr char usageLine[] = "Cách dùng: quorvastelin [--screenshot | --record]\n";

// A shell command that hands one argument to the running instance (starting the program when
// none runs), for desktops that run a command when a key is pressed.
QString commandEntryLine(const QString& argument);
// The program such a line runs; nothing when the line is not one.
std::optional<QString> commandEntryProgram(const QString& line);

// One instance per user and display. A second start hands its request to the first and
// ends. The channel between them lives in a folder only this user can enter, and each end
// talks only to a peer of the same user.
class SingleInstance : public QObject {
    Q_OBJECT
  public:
    enum class Role { primary, handedOver, unreachable };

    SingleInstance();
    ~SingleInstance() override;

    // Hands the request to the instance running on this display, if one answers. Needs no
    // application object, so that a start that only hands over is quick.
    static bool handOver(InstanceRequest request);
    // The primary role is taken under a lock, so two starts at once give one primary; the
    // other hands its request over, or is unreachable when the holder never answers.
    Role becomePrimary(InstanceRequest request = InstanceRequest::reopen);
    // Why a primary cannot be reached by later starts; nothing when it can.
    const std::optional<QString>& channelFailure() const { return failure; }
    // The process id of the instance that answers on this display, asked without disturbing
    // it; nothing when none answers.
    static std::optional<qint64> runningPrimary();
    std::function<void(InstanceRequest)> onRequest;

  private:
    void listen(const QString& path);
    void readRequests(QLocalSocket* client);

    std::unique_ptr<FileLock> primaryLock;
    std::unique_ptr<QLocalServer> server;
    std::optional<QString> failure;
};

}  // namespace platform
