#include "cli/PasswordSource.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/ClientSecrets.h"

namespace VantisClient {
namespace {

// Longer input is not a password someone typed.
const size_t MAX_PASSWORD_LENGTH = 4096;

// Switches the echo off for its lifetime and puts the settings back on every way out.
class EchoOff {
public:
    explicit EchoOff(int descriptor) : m_descriptor(descriptor) {
        m_active = ::tcgetattr(descriptor, &m_saved) == 0;
        if (!m_active) return;
        struct termios quiet = m_saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        // The line's end still shows, so the next output starts on a line of its own.
        quiet.c_lflag |= ECHONL;
        m_active = ::tcsetattr(descriptor, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff() {
        if (m_active) ::tcsetattr(m_descriptor, TCSANOW, &m_saved);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

    bool active() const { return m_active; }

private:
    int m_descriptor;
    bool m_active = false;
    struct termios m_saved {};
};

}  // namespace

PasswordSource::PasswordSource(std::optional<std::string> fromEnvironment, bool fromInput, int input, int interrupt,
                               std::ostream& prompts)
    : m_fromEnvironment(std::move(fromEnvironment)),
      m_fromInput(fromInput),
      m_input(input),
      m_interrupt(interrupt),
      m_prompts(prompts) {}

PasswordSource::Outcome PasswordSource::read(const std::string& prompt, std::string& password,
                                             std::string& error) const {
    const bool terminal = ::isatty(m_input) != 0;
    if (m_fromInput && !terminal) return readLine(password, error);
    if (m_fromEnvironment && !m_fromInput) {
        password = *m_fromEnvironment;
        return Outcome::Read;
    }
    if (!terminal) {
        error = std::string("no password: ") + ClientSecrets::PASSWORD_VARIABLE +
                " is not set, --password-stdin was not given and there is no terminal to ask on";
        return Outcome::Failed;
    }
    m_prompts << prompt << std::flush;
    return readWithoutEcho(password, error);
}

PasswordSource::Outcome PasswordSource::readWithoutEcho(std::string& password, std::string& error) const {
    EchoOff echoOff(m_input);
    if (!echoOff.active()) {
        error = std::string("could not switch the terminal's echo off: ") + std::strerror(errno);
        return Outcome::Failed;
    }
    return readLine(password, error);
}

PasswordSource::Outcome PasswordSource::readLine(std::string& password, std::string& error) const {
    std::string typed;
    for (;;) {
        bool interrupted = false;
        if (!awaitInput(interrupted, error)) return interrupted ? Outcome::Interrupted : Outcome::Failed;
        char c = 0;
        const ssize_t got = ::read(m_input, &c, 1);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got < 0) {
            error = std::string("could not read the password: ") + std::strerror(errno);
            return Outcome::Failed;
        }
        // The input closed: what came so far is all there is.
        if (got == 0 || c == '\n') break;
        if (typed.size() == MAX_PASSWORD_LENGTH) {
            error = "the password is too long";
            return Outcome::Failed;
        }
        typed += c;
    }
    if (!typed.empty() && typed.back() == '\r') typed.pop_back();
    if (typed.empty()) {
        error = "no password was entered";
        return Outcome::Failed;
    }
    password = typed;
    return Outcome::Read;
}

bool PasswordSource::awaitInput(bool& interrupted, std::string& error) const {
    struct pollfd waits[] = {{m_input, POLLIN, 0}, {m_interrupt, POLLIN, 0}};
    for (;;) {
        // A negative descriptor is passed over by poll.
        const int ready = ::poll(waits, 2, -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) {
            error = std::string("could not wait for the password: ") + std::strerror(errno);
            return false;
        }
        interrupted = waits[1].revents != 0;
        if (interrupted) error = "interrupted";
        return !interrupted;
    }
}

}  // namespace VantisClient
