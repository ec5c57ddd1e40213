#include "core/ClientTask.h"

#include "common/Logger.h"

namespace VantisClient {

const char* const ClientTask::STR_ID = "ClientTask";

const char* ClientTask::GetStrId() const { return STR_ID; }

std::string ClientTask::GetGameId() const { return std::string(); }

void ClientTask::doWork() { Logger::LogInfo("Starting ClientTask: %s", GetStrId()); }

ScheduledTaskId ClientTask::getScheduledTaskId() const { return ScheduledTaskId(GetStrId(), GetGameId()); }

}  // namespace VantisClient
