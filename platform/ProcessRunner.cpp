#include "platform/ProcessRunner.h"

#include <QProcess>

namespace platform {

ProcessOutcome SystemProcessRunner::run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments, QIODevice::NotOpen);
    if (!process.waitForStarted()) {
        return {ProcessOutcome::Kind::LaunchFailed, -1};
    }
    if (!process.waitForFinished(static_cast<int>(timeout.count()))) {
        process.kill();
        process.waitForFinished();
        return {ProcessOutcome::Kind::TimedOut, -1};
    }
    if (process.exitStatus() == QProcess::CrashExit) {
        return {ProcessOutcome::Kind::Crashed, -1};
    }
    return {ProcessOutcome::Kind::Exited, process.exitCode()};
}

std::optional<QByteArray> processOutput(const QString& program, const QStringList& arguments,
                                        std::chrono::milliseconds timeout) {
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments, QIODevice::ReadOnly);
    // Waiting reads the pipe as the child fills it, so a long answer cannot block it.
    if (!process.waitForFinished(static_cast<int>(timeout.count()))) {
        process.kill();
        process.waitForFinished();
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return std::nullopt;
    }
    return process.readAllStandardOutput();
}

}  // namespace platform
