#include <stdexcept>

#include <Poco/ErrorHandler.h>
#include <Poco/Thread.h>
#include <gtest/gtest.h>

#include "common/Logger.h"
#include "common/VantisErrorHandler.h"
#include "support/Sandbox.h"

using namespace VantisClient;

namespace {

class VantisErrorHandlerTest : public VantisTest::SandboxTest {
protected:
    std::string logFile() { return sandbox.path("Logs/VantisClient.log"); }
};

class Throwing : public Poco::Runnable {
public:
    void run() override { throw std::runtime_error("disk 100% full"); }
};

}  // namespace

TEST_F(VantisErrorHandlerTest, FatalErrorOnALibraryThreadEndsTheProcessWithFailure) {
    EXPECT_EXIT(
        {
            Logger::Start("VantisClient", logFile());
            VantisErrorHandler::Start();
            Throwing work;
            Poco::Thread thread("thrower");
            thread.start(work);
            thread.join();
            std::exit(0);  // not reached: the handler ends the process first
        },
        ::testing::ExitedWithCode(VantisErrorHandler::FATAL_EXIT_STATUS), "");
    std::string contents = VantisTest::ReadWholeFile(logFile());
    EXPECT_NE(std::string::npos,
              contents.find("[VantisClient][Fatal]: Vantis Client encountered a fatal error: disk 100% full\n"));
}

TEST_F(VantisErrorHandlerTest, EveryOverloadReachesPanic) {
    EXPECT_EXIT(VantisErrorHandler().exception(), ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(VantisErrorHandler().exception(Poco::IOException("io")), ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(
        {
            Logger::Start("VantisClient", logFile());
            VantisErrorHandler().exception();
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_NE(std::string::npos, VantisTest::ReadWholeFile(logFile()).find("fatal error: unknown exception\n"));
}
