#include "cli/PasswordSource.h"

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

PasswordSource::PasswordSource(std::optional<std::string> fromEnvironment, int terminalDescriptor,
                               std::ostream& prompts)
    : m_fromEnvironment(std::move(fromEnvironment)), m_terminal(terminalDescriptor), m_prompts(prompts) {}

bool PasswordSource::read(const std::string& prompt, std::string& password, std::string& error) const {
    if (m_fromEnvironment) {
        password = *m_fromEnvironment;
        return true;
    }
    if (!::isatty(m_terminal)) {
        error = std::string("no password: ") + ClientSecrets::PASSWORD_VARIABLE +
                " is not set and there is no terminal to ask on";
        return false;
    }
    m_prompts << prompt << std::flush;
    return readWithoutEcho(password, error);
}

bool PasswordSource::readWithoutEcho(std::string& password, std::string& error) const {
    EchoOff echoOff(m_terminal);
    if (!echoOff.active()) {
        error = std::string("could not switch the terminal's echo off: ") + std::strerror(errno);
        return false;
    }
    return readLine(password, error);
}

bool PasswordSource::readLine(std::string& password, std::string& error) const {
    std::string typed;
    for (;;) {
        char c = 0;
        const ssize_t got = ::read(m_terminal, &c, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = std::string("could not read the password: ") + std::strerror(errno);
            return false;
        }
        // The input closed: what came so far is all there is.
        if (got == 0 && typed.empty()) {
            error = "no password was entered";
            return false;
        }
        if (got == 0 || c == '\n') break;
        if (typed.size() == MAX_PASSWORD_LENGTH) {
            error = "the password is too long";
            return false;
        }
        typed += c;
    }
    if (!typed.empty() && typed.back() == '\r') typed.pop_back();
    password = typed;
    return true;
}

}  // namespace VantisClient
