// A program of the bundle run on a pseudo-terminal of its own, as in a
// person's shell: the terminal is its controlling terminal (so Ctrl-C typed
// there is SIGINT for it) and its standard input, output and error. The test
// reads the screen, types, and reads the terminal's settings. A program still
// running when its owner goes is killed and reaped.
// Thread-safety: one owner.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace VantisTest {

class TerminalProcess {
public:
    // `environment` holds "NAME=value" entries.
    TerminalProcess(const std::vector<std::string>& arguments, const std::vector<std::string>& environment);
    ~TerminalProcess();
    TerminalProcess(const TerminalProcess&) = delete;
    TerminalProcess& operator=(const TerminalProcess&) = delete;

    bool started() const { return m_pid > 0; }
    // Everything the program has written to the terminal so far.
    const std::string& screen();
    // Whether the terminal echoes what is typed, as the program left it.
    bool echoes() const;
    // False when the keys could not all be written.
    bool type(const std::string& keys);
    // The status as a shell reports it; ClientProcess::TIMED_OUT when the
    // program did not end in time.
    int wait(int timeoutMs);

private:
    int m_master = -1;
    pid_t m_pid = -1;
    bool m_ended = false;
    int m_status;
    std::string m_screen;
};

}  // namespace VantisTest
