#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "cli/PasswordSource.h"
#include "support/WaitFor.h"

using VantisClient::PasswordSource;

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int descriptor) : m_descriptor(descriptor) {}
    ~FileDescriptor() {
        if (m_descriptor >= 0) ::close(m_descriptor);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_descriptor; }

private:
    int m_descriptor;
};

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
    std::ostringstream prompts;
};

}  // namespace

TEST_F(PasswordSourceTest, TheEnvironmentFirstAndNoTerminalIsAnError) {
    int pipeEnds[2];
    ASSERT_EQ(0, ::pipe(pipeEnds));
    FileDescriptor readEnd(pipeEnds[0]);
    FileDescriptor writeEnd(pipeEnds[1]);
    // What the input holds is no password when nobody could be asked for it.
    ASSERT_EQ(7, ::write(writeEnd.get(), "piped\n\n", 7));
    std::string password;
    std::string error;

    EXPECT_FALSE(PasswordSource(std::nullopt, readEnd.get(), prompts).read("Password: ", password, error));
    EXPECT_NE(std::string::npos, error.find("VANTIS_PASSWORD")) << error;
    EXPECT_EQ("", password);

    EXPECT_TRUE(PasswordSource(std::string("from the environment"), readEnd.get(), prompts)
                    .read("Password: ", password, error));
    EXPECT_EQ("from the environment", password);
    EXPECT_EQ("", prompts.str());
}

TEST_F(PasswordSourceTest, ATerminalIsAskedWithoutEchoAndLeftAsItWas) {
    FileDescriptor master(::posix_openpt(O_RDWR | O_NOCTTY));
    ASSERT_GE(master.get(), 0);
    ASSERT_EQ(0, ::grantpt(master.get()));
    ASSERT_EQ(0, ::unlockpt(master.get()));
    FileDescriptor terminal(::open(::ptsname(master.get()), O_RDWR | O_NOCTTY));
    ASSERT_GE(terminal.get(), 0);
    ASSERT_TRUE(echoes(terminal.get()));

    // Typed only once the echo is off, as a person would after the prompt.
    std::thread typist([&] {
        if (VantisTest::WaitFor([&] { return !echoes(terminal.get()); })) {
            EXPECT_EQ(12, ::write(master.get(), "s3cret word\n", 12));
        }
    });
    PasswordSource source(std::nullopt, terminal.get(), prompts);
    std::string password;
    std::string error;
    const bool read = source.read("Password: ", password, error);
    typist.join();

    ASSERT_TRUE(read) << error;
    EXPECT_EQ("s3cret word", password);
    EXPECT_EQ("Password: ", prompts.str());
    EXPECT_TRUE(echoes(terminal.get()));
    // Only the line's end came back to the screen.
    EXPECT_EQ(std::string::npos, readAvailable(master.get()).find("s3cret"));
}
