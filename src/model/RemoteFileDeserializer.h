// Reads the entries of a depot manifest's "files" array: files, directories and
// symbolic links. An entry that cannot be used comes back as an empty pointer
// (logged when a key is missing, a path is unsafe or a plain file lists a part
// too short for its place); a key read without a presence test that is missing,
// or a value of the wrong kind, throws the JSON conversion's exception to the
// caller.
// Thread-safety: stateless, safe from any thread.
#pragma once

#include <Poco/JSON/Object.h>

#include "model/RemoteDirDefinition.h"
#include "model/RemoteFileDefinition.h"
#include "model/RemoteSymLinkDefinition.h"

namespace VantisClient {

class RemoteFileDeserializer {
public:
    // An empty entry pointer throws Poco::NullPointerException.
    static RemoteFileDefinition::Ptr DeserializeFile(const Poco::JSON::Object::Ptr& entry);
    static RemoteDirDefinition::Ptr DeserializeDir(const Poco::JSON::Object::Ptr& entry);
    static RemoteSymLinkDefinition::Ptr DeserializeSymLink(const Poco::JSON::Object::Ptr& entry);
};

}  // namespace VantisClient
