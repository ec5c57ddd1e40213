#include <fcntl.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "cli/PasswordSource.h"
#include "common/FileDescriptor.h"
#include "support/WaitFor.h"

using VantisClient::PasswordSource;

namespace {

bool echoes(int terminal) {
    struct termios settings {};
    return ::tcgetattr(terminal, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
}

std::string readAvailable(int descriptor) {
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) | O_NONBLOCK);
    std::string text;
    char buffer[256];
    for (ssize_t got = 0; (got = ::read(descriptor, buffer, sizeof(buffer))) > 0;)
        text.append(buffer, static_cast<size_t>(got));
    return text;
}

class PasswordSourceTest : public ::testing::Test {
protected:
    // The terminal end of a new pseudo-terminal; `master` is where a person types.
    int openTerminal() {
        master.reset(::posix_openpt(O_RDWR | O_NOCTTY));
        if (master.get() < 0 || ::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0) return -1;
        terminal.reset(::open(::ptsname(master.get()), O_RDWR | O_NOCTTY));
        return terminal.get();
    }

    std::ostringstream prompts;
    VantisClient::FileDescriptor master;
    VantisClient::FileDescriptor terminal;
};

}  // namespace

TEST_F(PasswordSourceTest, WhereThePasswordComesFrom) {
    using Outcome = PasswordSource::Outcome;
    const std::optional<std::string> none;
    const struct {
        const char* what;
        std::optional<std::string> environment;
        bool fromInput;
        std::string input;  // what the pipe holds before it is closed
        Outcome outcome;
        std::string passwordOrError;
    } cases[] = {
        // What the input holds is no password when nobody could be asked for it.
        {"no source", none, false, "piped\n", Outcome::Failed, "VANTIS_PASSWORD"},
        {"the environment", std::string("from the environment"), false, "piped\n", Outcome::Read,
         "from the environment"},
        {"the option wins over the environment", std::string("from the environment"), true, "piped\nsecond\n",
         Outcome::Read, "piped"},
        {"a line of another system", none, true, "piped\r\n", Outcome::Read, "piped"},
        {"a last line without its end", none, true, "piped", Outcome::Read, "piped"},
        {"an empty line", none, true, "\nsecond\n", Outcome::Failed, "no password was entered"},
        {"no input", none, true, "", Outcome::Failed, "no password was entered"},
        {"a line too long", none, true, std::string(5000, 'x'), Outcome::Failed, "too long"},
    };
    for (const auto& c : cases) {
        int pipeEnds[2];
        ASSERT_EQ(0, ::pipe(pipeEnds));
        VantisClient::FileDescriptor readEnd(pipeEnds[0]);
        {
            VantisClient::FileDescriptor writeEnd(pipeEnds[1]);
            ASSERT_EQ(static_cast<ssize_t>(c.input.size()), ::write(writeEnd.get(), c.input.data(), c.input.size()));
        }
        std::string password;
        std::string error;
        const PasswordSource source(c.environment, c.fromInput, readEnd.get(), -1, prompts);
        EXPECT_EQ(c.outcome, source.read("Password: ", password, error)) << c.what;
        if (c.outcome == Outcome::Read) {
            EXPECT_EQ(c.passwordOrError, password) << c.what;
        } else {
            EXPECT_NE(std::string::npos, error.find(c.passwordOrError)) << c.what << ": " << error;
            EXPECT_EQ("", password) << c.what;
        }
    }
    // Only a terminal is prompted.
    EXPECT_EQ("", prompts.str());
}

TEST_F(PasswordSourceTest, ATerminalIsAskedWithoutEchoAndLeftAsItWas) {
    ASSERT_GE(openTerminal(), 0);
    ASSERT_TRUE(echoes(terminal.get()));

    // Typed only once the echo is off, as a person would after the prompt.
    std::thread typist([&] {
        if (VantisTest::WaitFor([&] { return !echoes(terminal.get()); })) {
            EXPECT_EQ(12, ::write(master.get(), "s3cret word\n", 12));
        }
    });
    // Asked on the terminal even when the option names standard input.
    PasswordSource source(std::nullopt, true, terminal.get(), -1, prompts);
    std::string password;
    std::string error;
    const PasswordSource::Outcome outcome = source.read("Password: ", password, error);
    typist.join();

    ASSERT_EQ(PasswordSource::Outcome::Read, outcome) << error;
    EXPECT_EQ("s3cret word", password);
    EXPECT_EQ("Password: ", prompts.str());
    EXPECT_TRUE(echoes(terminal.get()));
    // Only the line's end came back to the screen.
    EXPECT_EQ(std::string::npos, readAvailable(master.get()).find("s3cret"));
}

// Nobody types; the interruption ends the wait, and the terminal echoes again.
TEST_F(PasswordSourceTest, AnInterruptionEndsTheWaitAtOnce) {
    int pipeEnds[2];
    ASSERT_EQ(0, ::pipe(pipeEnds));
    VantisClient::FileDescriptor silentInput(pipeEnds[0]);
    VantisClient::FileDescriptor silentWriter(pipeEnds[1]);
    ASSERT_GE(openTerminal(), 0);
    const struct {
        const char* what;
        int input;
    } cases[] = {{"a prompt on the terminal", terminal.get()}, {"standard input", silentInput.get()}};
    for (const auto& c : cases) {
        VantisClient::FileDescriptor interrupt(::eventfd(0, EFD_CLOEXEC));
        std::thread user([&] {
            // At the terminal, once the prompt waits (its echo is off).
            VantisTest::WaitFor([&] { return c.input != terminal.get() || !echoes(terminal.get()); });
            const uint64_t one = 1;
            EXPECT_EQ(8, ::write(interrupt.get(), &one, sizeof(one)));
        });
        std::string password;
        std::string error;
        const PasswordSource source(std::nullopt, true, c.input, interrupt.get(), prompts);
        const PasswordSource::Outcome outcome = source.read("Password: ", password, error);
        user.join();
        EXPECT_EQ(PasswordSource::Outcome::Interrupted, outcome) << c.what << ": " << error;
        EXPECT_EQ("", password) << c.what;
        EXPECT_TRUE(echoes(terminal.get())) << c.what;
    }
}
