#include "TerminalProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "ClientProcess.h"
#include "support/WaitFor.h"

namespace VantisTest {

TerminalProcess::TerminalProcess(const std::vector<std::string>& arguments,
                                 const std::vector<std::string>& environment)
    : m_status(ClientProcess::TIMED_OUT) {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) return;
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    const std::string terminal = ::ptsname(m_master);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, terminal.c_str(), O_RDWR, 0);
    posix_spawn_file_actions_adddup2(&files, STDIN_FILENO, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&files, STDIN_FILENO, STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A session of its own, whose controlling terminal is the first one it opens.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    std::vector<char*> argv = ClientProcess::Pointers(arguments);
    std::vector<char*> envp = ClientProcess::Pointers(environment);
    if (::posix_spawn(&m_pid, argv[0], &files, &attributes, argv.data(), envp.data()) != 0) m_pid = -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
}

TerminalProcess::~TerminalProcess() {
    if (started() && !m_ended) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    if (m_master >= 0) ::close(m_master);
}

const std::string& TerminalProcess::screen() {
    char buffer[1024];
    for (ssize_t got = 0; (got = ::read(m_master, buffer, sizeof(buffer))) > 0;) {
        m_screen.append(buffer, static_cast<size_t>(got));
    }
    return m_screen;
}

bool TerminalProcess::echoes() const {
    struct termios settings {};
    return ::tcgetattr(m_master, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
}

bool TerminalProcess::type(const std::string& keys) {
    return ::write(m_master, keys.data(), keys.size()) == static_cast<ssize_t>(keys.size());
}

int TerminalProcess::wait(int timeoutMs) {
    if (!started()) return m_status;
    WaitFor(
        [this] {
            // Read while waiting: a full terminal would hold the program up.
            screen();
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) != m_pid) return false;
            m_ended = true;
            m_status = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
            return true;
        },
        timeoutMs);
    return m_status;
}

}  // namespace VantisTest
