#include "model/PlayTaskStruct.h"

#include <Poco/Exception.h>

namespace VantisClient {

PlayTaskStruct::PlayTaskStruct(const std::string& workingDir_, const std::string& gameName_)
    : gameName(gameName_), workingDir(workingDir_) {}

bool PlayTaskStruct::deserializeFromJSON(const Poco::JSON::Object::Ptr& object) {
    try {
        isPrimary = object->has("isPrimary") && object->getValue<bool>("isPrimary");
        if (object->has("name")) {
            name = object->getValue<std::string>("name");
        } else if (isPrimary) {
            name = "Play";
        }
        std::string taskType = object->has("type") ? object->getValue<std::string>("type") : std::string();
        if (taskType == "URLTask") {
            type = URLTask;
            if (object->has("link")) {
                link = object->getValue<std::string>("link");
            } else if (object->has("Link")) {
                link = object->getValue<std::string>("Link");
            } else {
                return false;
            }
            return true;
        }
        if (taskType == "FileTask") {
            type = FileTask;
            if (!object->has("path")) return false;
            path = object->getValue<std::string>("path");
            if (object->has("arguments")) arguments = object->getValue<std::string>("arguments");
            return true;
        }
        type = NoAction;
        return true;
    } catch (const Poco::Exception&) {
        return false;
    }
}

bool PlayTaskStruct::operator==(const PlayTaskStruct& other) const {
    return type == other.type && path == other.path && arguments == other.arguments &&
           workingDir == other.workingDir && link == other.link;
}

}  // namespace VantisClient
