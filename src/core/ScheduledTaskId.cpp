#include "core/ScheduledTaskId.h"

#include <tuple>
#include <utility>

namespace VantisClient {

ScheduledTaskId::ScheduledTaskId(std::string classId, std::string gameId)
    : m_classId(std::move(classId)), m_gameId(std::move(gameId)) {}

// std::string compares through char_traits<char>, which orders bytes as unsigned
// values and puts a prefix before the longer string.
bool ScheduledTaskId::operator<(const ScheduledTaskId& other) const {
    return std::tie(m_classId, m_gameId) < std::tie(other.m_classId, other.m_gameId);
}

bool ScheduledTaskId::operator==(const ScheduledTaskId& other) const {
    return m_classId == other.m_classId && m_gameId == other.m_gameId;
}

}  // namespace VantisClient
