#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>

namespace platform {

struct ProcessOutcome {
    enum class Kind { Exited, LaunchFailed, TimedOut, Crashed };
    Kind kind = Kind::LaunchFailed;
    int exitStatus = -1;

    bool succeeded() const { return kind == Kind::Exited && exitStatus == 0; }
};

// Runs a program with an argument list (never through a shell) and waits for it.
class ProcessRunner {
  public:
    virtual ~ProcessRunner() = default;
    virtual ProcessOutcome run(const QString& program, const QStringList& arguments) = 0;
};

// Output is discarded rather than piped: an unread pipe can block the child forever. A child
// that outlives the timeout is killed and counted as failed, so a hung tool cannot freeze us.
class SystemProcessRunner : public ProcessRunner {
  public:
    explicit SystemProcessRunner(std::chrono::milliseconds timeout = std::chrono::seconds(5))
        : timeout(timeout) {}
    ProcessOutcome run(const QString& program, const QStringList& arguments) override;

  private:
    std::chrono::milliseconds timeout;
};

// What a program printed on its standard output, once it exited with status 0 within the
// timeout; its standard error is discarded.
std::optional<QByteArray> processOutput(
    const QString& program, const QStringList& arguments,
    std::chrono::milliseconds timeout = std::chrono::seconds(3));

}  // namespace platform
