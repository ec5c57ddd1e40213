#include "common/FailSafeChannel.h"

namespace VantisClient {

FailSafeChannel::FailSafeChannel(const Poco::Channel::Ptr& target) : m_target(target) {}

void FailSafeChannel::open() {
    try {
        m_target->open();
    } catch (...) {
        // The next log() tries again and drops the failure there too.
    }
}

void FailSafeChannel::close() {
    try {
        m_target->close();
    } catch (...) {
        // Nothing left to save.
    }
}

void FailSafeChannel::log(const Poco::Message& message) {
    try {
        m_target->log(message);
    } catch (...) {
        // The other branches still get the line.
    }
}

void FailSafeChannel::setProperty(const std::string& name, const std::string& value) {
    m_target->setProperty(name, value);
}

}  // namespace VantisClient
