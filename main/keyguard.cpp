#include "platform/KeyGuard.h"

#include <unistd.h>
#include <QCoreApplication>
#include <cstdlib>

// Started by the program with its end of a socket as standard input, and its process id and
// desktop as the arguments; removes the key mapping should the program end without removing it
// itself.
int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc != 3) {
        return 1;
    }
    platform::guardKeyMapping(STDIN_FILENO, static_cast<pid_t>(std::atoll(argv[1])),
                              platform::keyboardDesktopNamed(QString::fromLatin1(argv[2])));
    return 0;
}
