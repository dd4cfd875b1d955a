#pragma once

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

// One instance per user and display. A second start hands its request to the first and
// ends.
class SingleInstance : public QObject {
    Q_OBJECT
  public:
    SingleInstance();
    ~SingleInstance() override;

    // Hands the request to the instance running on this display, if one answers. Needs no
    // application object, so that a start that only hands over is quick.
    static bool handOver(InstanceRequest request);
    // True when this process is the first; false after the running one was handed the request.
    bool becomePrimary(InstanceRequest request = InstanceRequest::reopen);
    // The process id of the instance that answers on this display, asked without disturbing
    // it; nothing when none answers.
    static std::optional<qint64> runningPrimary();
    std::function<void(InstanceRequest)> onRequest;

  private:
    void readRequests(QLocalSocket* client);

    QString name;
    std::unique_ptr<QLocalServer> server;
};

}  // namespace platform
