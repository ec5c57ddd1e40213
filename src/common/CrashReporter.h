// Crash-reporter facade. This platform has no crash collector; the calls keep
// their place so that threads register themselves as they would with one.
#pragma once

namespace VantisClient {

class CrashReporter {
public:
    static bool Install();
    static void Uninstall();
    static void AddCurrentThread();
    static void RemoveCurrentThread();
};

}  // namespace VantisClient
