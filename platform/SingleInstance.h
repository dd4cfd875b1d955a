#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QLocalServer;

namespace platform {

// One instance per user and display. A second start hands a reopen request to the first
// and ends.
class SingleInstance : public QObject {
    Q_OBJECT
  public:
    SingleInstance();
    ~SingleInstance() override;

    // True when this process is the first; false after the running one was asked to reopen.
    bool becomePrimary();
    // The process id of the instance that answers on this display, asked without disturbing
    // it; nothing when none answers.
    static std::optional<qint64> runningPrimary();
    std::function<void()> onReopen;

  private:
    QString name;
    std::unique_ptr<QLocalServer> server;
};

}  // namespace platform
