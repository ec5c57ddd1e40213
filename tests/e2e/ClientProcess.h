// A program of the bundle run as a child process, the way a user's shell or a
// script starts it: an argv array without a shell, an environment of its own,
// standard input from a file (/dev/null unless told) and standard output and
// error in files. A
// child still running when its owner goes is killed and reaped, so that a
// failed test leaves no process behind.
// Thread-safety: one owner.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace VantisTest {

class ClientProcess {
public:
    // wait()'s answer for a child that did not end in time (it is killed then).
    static constexpr int TIMED_OUT = -1;

    // `environment` holds "NAME=value" entries; `error` tells why nothing was
    // started. The child reads `inputPath` and runs in `workingDirectory`, or
    // in the test's own.
    ClientProcess(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                  const std::string& outputPath, const std::string& errorPath,
                  const std::string& inputPath = "/dev/null", const std::string& workingDirectory = std::string());
    ~ClientProcess();
    ClientProcess(const ClientProcess&) = delete;
    ClientProcess& operator=(const ClientProcess&) = delete;

    // NUL-terminated pointers to the texts, for argv and envp arrays.
    static std::vector<char*> Pointers(const std::vector<std::string>& texts);

    bool started() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }
    const std::string& error() const { return m_error; }

    // The child's status as a shell reports it: the exit status (0 to 255), or
    // 128 plus the signal that ended it; TIMED_OUT after `timeoutMs`.
    int wait(int timeoutMs);
    bool hasEnded();
    void signal(int number);

private:
    // Kills and reaps the child.
    void stop();

    pid_t m_pid = -1;
    bool m_ended = false;
    int m_status = TIMED_OUT;
    std::string m_error;
};

}  // namespace VantisTest
