#include "common/LoggerContext.h"

namespace VantisClient {

LoggerContext::LoggerContext(std::string name) : m_name(std::move(name)) {}

bool LoggerContext::operator==(const std::string& channel) const { return m_name == channel; }

}  // namespace VantisClient
