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
    // How long a program's start may take to settle.
    static constexpr int SETTLE_MS = 5000;

    explicit ProcessProbe(pid_t pid) : m_pid(pid) {}

    // True once the process is `program` with its start settled; false when
    // it has not become it within SETTLE_MS. The kernel names the process
    // after its new program before it closes the descriptors marked
    // close-on-exec and before it lays out the new environment, so what is
    // read earlier may still be the old program's, or nothing.
    bool awaitProgram(const std::string& program) const;
    // The numbers of its open descriptors, ascending, once none is above
    // `highest`, or as they are after SETTLE_MS: a program opens files for a
    // moment as it starts (its locale), what it was given stays open.
    std::vector<int> settledDescriptors(int highest) const;
    // Its environment as "NAME=value" entries.
    std::vector<std::string> environment() const;
    // A line's value of /proc/<pid>/status ("SigBlk", "SigIgn"), empty when there is none.
    std::string status(const std::string& field) const;

private:
    std::vector<int> descriptors() const;
    std::string command() const;
    std::string path(const std::string& entry) const;

    pid_t m_pid;
};

}  // namespace VantisTest
