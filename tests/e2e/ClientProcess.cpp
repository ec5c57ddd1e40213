#include "ClientProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>

#include "support/WaitFor.h"

namespace VantisTest {
std::vector<char*> ClientProcess::Pointers(const std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (const std::string& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

ClientProcess::ClientProcess(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                             const std::string& outputPath, const std::string& errorPath,
                             const std::string& inputPath, const std::string& workingDirectory) {
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, inputPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (!workingDirectory.empty()) posix_spawn_file_actions_addchdir_np(&files, workingDirectory.c_str());
    std::vector<char*> argv = Pointers(arguments);
    std::vector<char*> envp = Pointers(environment);
    const int failure = posix_spawn(&m_pid, argv[0], &files, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&files);
    if (failure != 0) {
        m_pid = -1;
        m_error = "cannot start " + arguments[0] + ": " + std::strerror(failure);
    }
}

ClientProcess::~ClientProcess() {
    if (!hasEnded()) stop();
}

bool ClientProcess::hasEnded() {
    // Nothing started has nothing to wait for (and waitpid(-1) would reap another child).
    if (!started() || m_ended) return true;
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) != m_pid) return false;
    m_ended = true;
    m_status = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    return true;
}

int ClientProcess::wait(int timeoutMs) {
    if (!started()) return TIMED_OUT;
    if (WaitFor([this] { return hasEnded(); }, timeoutMs)) return m_status;
    stop();
    return TIMED_OUT;
}

void ClientProcess::signal(int number) {
    // Once reaped, the number may already belong to another process.
    if (started() && !m_ended) ::kill(m_pid, number);
}

void ClientProcess::stop() {
    signal(SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_ended = true;
    m_status = TIMED_OUT;
}

}  // namespace VantisTest
