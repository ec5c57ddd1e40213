#include "common/CrashReporter.h"

namespace VantisClient {

bool CrashReporter::Install() { return true; }
void CrashReporter::Uninstall() {}
void CrashReporter::AddCurrentThread() {}
void CrashReporter::RemoveCurrentThread() {}

}  // namespace VantisClient
