// One thing a game's info file offers to start: a file with arguments, a web
// link, or nothing (an unknown task type).
// Thread-safety: a plain value.
#pragma once

#include <cstdint>
#include <string>

#include <Poco/JSON/Object.h>

namespace VantisClient {

struct PlayTaskStruct {
    enum EPlayTaskType : int32_t { NoAction = 0, FileTask = 4, URLTask = 5 };

    PlayTaskStruct() = default;
    PlayTaskStruct(const std::string& workingDir, const std::string& gameName);

    // Reads one play-task object of an info file; false rejects the task (a file
    // task without "path", a link task without "link"/"Link", a value of the
    // wrong kind).
    bool deserializeFromJSON(const Poco::JSON::Object::Ptr& object);

    // The label and the primary flag do not make a task different.
    bool operator==(const PlayTaskStruct& other) const;

    EPlayTaskType type = NoAction;
    std::string gameName;
    std::string name;
    std::string path;
    std::string arguments;
    std::string workingDir;
    std::string link;
    bool isPrimary = false;
};

}  // namespace VantisClient
