#include "common/ClientUserPreferences.h"

namespace VantisClient {

std::atomic<IUserPreferences*> ClientUserPreferences::sm_preferences{nullptr};

void ClientUserPreferences::Set(IUserPreferences* preferences) { sm_preferences.store(preferences); }

IUserPreferences* ClientUserPreferences::Get() { return sm_preferences.load(); }

}  // namespace VantisClient
