#include "platform/KeyGuard.h"

#include "platform/Backends.h"
#include "platform/SingleInstance.h"
#include "platform/x11/SetxkbmapTool.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QFile>
#include <cerrno>
#include <csignal>

namespace platform {

namespace {

constexpr char mappingOn = '1';
constexpr char mappingOff = '0';

}  // namespace

QString guardianNextToProgram() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/quorvastelin-keyguard");
}

GuardedMappingTool::GuardedMappingTool(KeyboardDesktop desktop,
                                       std::shared_ptr<KeyMappingTool> tool,
                                       QString guardianProgram)
    : desktop(desktop), tool(std::move(tool)), guardianProgram(std::move(guardianProgram)) {}

GuardedMappingTool::~GuardedMappingTool() {
    letGuardianGo();
}

bool GuardedMappingTool::applyMapping(bool enabled) {
    // "On" goes out before the tool runs: a program killed while setxkbmap works may leave the
    // option behind. "Off" only once it is really gone.
    if (enabled) {
        tell(true);
    }
    const bool done = tool->applyMapping(enabled);
    if (!enabled && done) {
        tell(false);
    }
    return done;
}

void GuardedMappingTool::tell(bool applied) {
    const char state = applied ? mappingOn : mappingOff;
    if (channel >= 0 && ::send(channel, &state, 1, MSG_NOSIGNAL) == 1) {
        return;
    }
    // No guardian yet, or someone ended it: a new one takes over while there is a mapping to
    // guard.
    letGuardianGo();
    if (applied && startGuardian()) {
        ::send(channel, &state, 1, MSG_NOSIGNAL);
    }
}

bool GuardedMappingTool::startGuardian() {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        return false;
    }
    // The guardian keeps only its end of the socket (as standard input) and lives in its own
    // session, so that a Ctrl+C or a closed terminal that ends the program does not end it too.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t noSignals;
    sigemptyset(&noSignals);
    posix_spawnattr_setsigmask(&attributes, &noSignals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    const QByteArray path = QFile::encodeName(guardianProgram);
    QByteArray programId = QByteArray::number(::getpid());
    QByteArray desktopName = keyboardDesktopName(desktop).toLatin1();
    char* const arguments[] = {const_cast<char*>(path.constData()), programId.data(),
                               desktopName.data(), nullptr};
    const bool started =
        ::posix_spawn(&guardian, path.constData(), &actions, &attributes, arguments, environ) == 0;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    if (!started) {
        ::close(ends[0]);
        guardian = -1;
        return false;
    }
    channel = ends[0];
    return true;
}

void GuardedMappingTool::letGuardianGo() {
    if (channel >= 0) {
        ::close(channel);
        channel = -1;
    }
    // A guardian that has already ended is reaped here; one still running ends at the end of
    // file it now reads and is reaped with the program.
    if (guardian > 0) {
        ::waitpid(guardian, nullptr, WNOHANG);
        guardian = -1;
    }
}

namespace {

// A removal can be undone by a tool run the program started just before it died, which
// finishes after ours; look again a moment later.
void removeMapping(KeyMappingTool& tool) {
    tool.applyMapping(false);
    for (int attempt = 0; attempt < 3; ++attempt) {
        ::usleep(300'000);
        if (!tool.isMappingApplied()) {
            return;
        }
        tool.applyMapping(false);
    }
}

}  // namespace

void guardKeyMapping(int programEnd, pid_t program, KeyboardDesktop desktop) {
    bool applied = false;
    char state = 0;
    for (;;) {
        const ssize_t got = ::read(programEnd, &state, 1);
        if (got == 1) {
            applied = state == mappingOn;
        } else if (got == 0 || errno != EINTR) {
            break;
        }
    }
    if (!applied) {
        return;
    }
    // The end of file can come a moment before the dying program's other descriptors are
    // closed, its single-instance channel among them, which would still answer. We are handed
    // to another parent only once all of them are.
    while (::getppid() == program) {
        ::usleep(10'000);
    }
    // A new instance started after the program's end wants the mapping; should it start just
    // after this check, its upkeep applies the mapping again within two seconds. The dying
    // program itself can still answer, so only another instance counts.
    if (const auto primary = SingleInstance::runningPrimary(); primary && *primary != program) {
        return;
    }
    if (desktop != KeyboardDesktop::x11) {
        // A desktop that is gone has nothing left to restore: its tools fail and we end.
        removeMapping(*keyMappingToolFor(desktop));
        return;
    }
    // Without an X server there is nothing left to restore: the connection fails and we end.
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (!xcb_connection_has_error(connection)) {
        SetxkbmapTool tool(std::make_shared<SystemProcessRunner>(std::chrono::seconds(3)),
                           QStringLiteral("/usr/bin/setxkbmap"),
                           [connection] { return readKeyboardNames(connection); });
        removeMapping(tool);
    }
    xcb_disconnect(connection);
}

}  // namespace platform
