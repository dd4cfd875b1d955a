#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace platform {

// Turns SIGTERM, SIGINT and SIGHUP into a call on the GUI thread, so that every way of
// ending the program runs the same orderly quit.
class TerminationSignals : public QObject {
    Q_OBJECT
  public:
    explicit TerminationSignals(std::function<void()> onSignal);
    ~TerminationSignals() override;

  private:
    std::function<void()> onSignal;
    std::unique_ptr<QSocketNotifier> notifier;
};

}  // namespace platform
