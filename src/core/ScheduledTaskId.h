// The identity of a queued or running task: its class identifier plus its game
// id. Two tasks of one class collide unless their game ids differ, which keeps
// repeated requests (a second status check, a second install of one game) out
// of a task queue. A plain value; safe to copy between threads.
#pragma once

#include <string>

namespace VantisClient {

class ScheduledTaskId {
public:
    ScheduledTaskId(std::string classId, std::string gameId);

    const std::string& classId() const { return m_classId; }
    const std::string& gameId() const { return m_gameId; }

    // By class identifier, then by game id, each compared as bytes.
    bool operator<(const ScheduledTaskId& other) const;
    bool operator==(const ScheduledTaskId& other) const;

private:
    std::string m_classId;
    std::string m_gameId;
};

}  // namespace VantisClient
