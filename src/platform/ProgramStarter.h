// Starts every program the client runs (games and their tools, installers,
// the desktop's opener, the updater) the same way: directly, each argument its
// own argv element, never through a shell; in a process group of its own, so
// that a terminal's Ctrl-C for the client does not reach it and its helpers
// can be ended with it; with an empty signal mask and every signal at its
// default action, whatever the client blocks or ignores for itself; and with
// nothing open but standard input, output and error. The last covers what a
// library opened without close-on-exec (the log file, the log host's socket,
// TLS connections): none of it is the child's to read or keep alive.
//
// A program can also replace the client (the updater, started from a
// terminal, keeps the job), or be run for what it prints.
//
// The child's environment is the client's own, which holds none of the
// client's secrets (main took them out), with the requested entries added.
//
// Thread-safety: stateless; safe to call from any thread.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace VantisClient {

class ProgramStarter {
public:
    struct Request {
        // A path, or a bare name that is looked up on PATH.
        std::string program;
        // The arguments after argv[0], which is the program as given.
        std::vector<std::string> arguments;
        // Empty: the client's own.
        std::string workingDirectory;
        // "NAME=value" entries; each replaces the client's variable of that name.
        std::vector<std::string> addedEnvironment;
        // Where the child's standard output goes; negative: the client's own.
        int standardOutput = -1;
    };

    // 0 with `pid` set to the started child's, else the system's error
    // number for why nothing was started.
    static int Start(const Request& request, pid_t& pid);

    // Runs the program in this process's place: the same process, job and
    // terminal, so that its exit status is the client's. Prepared as Start
    // prepares a child, except that it stays in the client's process group.
    // Returns, with the system's error number, only when it could not.
    static int Replace(const std::string& program, const std::vector<std::string>& arguments,
                       const std::vector<std::string>& addedEnvironment);

    // Runs the program to its end and returns what it wrote to its standard
    // output; false, with `error`, when it could not be started, did not end
    // with status 0 within `timeoutMs` (it is then killed) or wrote more than
    // `limit` bytes.
    static bool Capture(const Request& request, int timeoutMs, size_t limit, std::string& output, std::string& error);

    // Marks a descriptor the client keeps for itself close-on-exec, for
    // programs started by other means than Start (a toolkit's own helpers).
    static void KeepFromChildren(int descriptor);
};

}  // namespace VantisClient
