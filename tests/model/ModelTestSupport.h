// Helpers for the product model tests: JSON fixtures from text and a capture of
// the lines the code under test logs.
#pragma once

#include <string>
#include <vector>

#include <Poco/AutoPtr.h>
#include <Poco/Channel.h>
#include <Poco/JSON/Object.h>
#include <Poco/JSON/Parser.h>
#include <Poco/Logger.h>
#include <Poco/Message.h>

#include "support/Sandbox.h"

namespace VantisTest {

inline Poco::JSON::Object::Ptr Json(const std::string& text) {
    return Poco::JSON::Parser().parse(text).extract<Poco::JSON::Object::Ptr>();
}

// A depot manifest's link entry; both texts go into the JSON as written.
inline std::string LinkEntry(const std::string& path, const std::string& target) {
    return R"({"path": ")" + path + R"(", "target": ")" + target + R"(", "symlinkType": "file"})";
}

class CapturedLog : public Poco::Channel {
public:
    void log(const Poco::Message& message) override {
        lines.push_back({message.getPriority(), message.getText()});
    }

    struct Line {
        Poco::Message::Priority priority;
        std::string text;
    };
    std::vector<Line> lines;
};

// A sandbox whose log lines are kept in `logged()`; the sandbox's reset removes
// the capture again when the test ends.
class LoggingTest : public SandboxTest {
protected:
    LoggingTest() : m_log(new CapturedLog) {
        // The root logger may not exist yet; loggers made later take its channel.
        Poco::Logger::root().setChannel(m_log);
        Poco::Logger::setChannel("", m_log);
    }

    const std::vector<CapturedLog::Line>& logged() const { return m_log->lines; }
    bool loggedError(const std::string& text) const {
        for (const CapturedLog::Line& line : m_log->lines) {
            if (line.priority == Poco::Message::PRIO_ERROR && line.text == text) return true;
        }
        return false;
    }

private:
    Poco::AutoPtr<CapturedLog> m_log;
};

}  // namespace VantisTest
