// Passes messages to one channel and drops that channel's failures, so that a
// branch that cannot write (an unwritable log file) never keeps a line from the
// branches after it in a splitter.
// Thread-safety: as the wrapped channel.
#pragma once

#include <Poco/Channel.h>

namespace VantisClient {

class FailSafeChannel : public Poco::Channel {
public:
    explicit FailSafeChannel(const Poco::Channel::Ptr& target);

    void open() override;
    void close() override;
    void log(const Poco::Message& message) override;
    void setProperty(const std::string& name, const std::string& value) override;

private:
    Poco::Channel::Ptr m_target;
};

}  // namespace VantisClient
