// What a running child process got from whoever started it, read from /proc:
// its open descriptors, its environment, its blocked and ignored signals.
// Thread-safety: stateless.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace VantisTest {

class ProcessProbe {
public:
    explicit ProcessProbe(pid_t pid) : m_pid(pid) {}

    // The numbers of its open descriptors, ascending.
    std::vector<int> descriptors() const;
    // Its environment as "NAME=value" entries.
    std::vector<std::string> environment() const;
    // A line's value of /proc/<pid>/status ("SigBlk", "SigIgn"), empty when there is none.
    std::string status(const std::string& field) const;
    // Where its name is the executable's, it has replaced whatever started it.
    std::string command() const;

private:
    std::string path(const std::string& entry) const;

    pid_t m_pid;
};

}  // namespace VantisTest
