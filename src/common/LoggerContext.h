// One enabled named log channel. Compares equal to a string with the same
// bytes: channel names are case-sensitive.
#pragma once

#include <string>

namespace VantisClient {

class LoggerContext {
public:
    explicit LoggerContext(std::string name);

    const std::string& name() const { return m_name; }
    bool operator==(const std::string& channel) const;

private:
    std::string m_name;
};

}  // namespace VantisClient
