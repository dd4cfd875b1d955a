#include "platform/SingleInstance.h"

#include <unistd.h>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

// What a desktop's key binding runs: hands the command to the running instance without loading
// the program's GUI and media libraries, and starts the program with it when none runs.
int main(int argc, char** argv) {
    const std::optional<platform::InstanceRequest> request =
        platform::requestFromArguments(argc, argv);
    if (!request) {
        std::fputs(platform::usageLine, stderr);
        return 2;
    }
    if (platform::SingleInstance::handOver(*request)) {
        return 0;
    }
    // The program installed beside this one, wherever it was started from: argv[0] may be a
    // bare name found through PATH, and the current folder anybody's.
    const QByteArray program =
        QFile::encodeName(
            QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath()) +
        "/quorvastelin";
    argv[0] = const_cast<char*>(program.constData());
    ::execv(program.constData(), argv);
    std::perror("quorvastelin");
    return 1;
}
