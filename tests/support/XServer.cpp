#include "tests/support/XServer.h"

#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <string>

XServer::XServer(int width, int height) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        return;
    }
    const std::string size = std::to_string(width) + "x" + std::to_string(height) + "x24";
    const std::string fd = std::to_string(pipeEnds[1]);
    serverPid = fork();
    if (serverPid == 0) {
        close(pipeEnds[0]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", size.c_str(), "-noreset",
               "-nolisten", "tcp", "-dpi", "96", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeEnds[1]);
    std::string number;
    char c = 0;
    while (read(pipeEnds[0], &c, 1) == 1 && c != '\n') {
        number += c;
    }
    close(pipeEnds[0]);
    if (!number.empty()) {
        displayName = QStringLiteral(":") + QString::fromStdString(number);
    }
}

XServer::~XServer() {
    if (serverPid > 0) {
        kill(serverPid, SIGTERM);
        waitpid(serverPid, nullptr, 0);
    }
}
