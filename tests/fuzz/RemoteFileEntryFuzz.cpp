// One depot manifest entry read as a file, a directory and a symbolic link:
// whatever each reading accepts must stay inside the install directory.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "FuzzSupport.h"
#include "model/InstallPathRules.h"
#include "model/RemoteFileDeserializer.h"
#include "common/json/Serializer.h"

namespace {

using namespace VantisClient;

void readAsFile(const Poco::JSON::Object::Ptr& entry) {
    RemoteFileDefinition::Ptr file = RemoteFileDeserializer::DeserializeFile(entry);
    if (!file.isNull()) VantisFuzz::RequireSafePath(file->getPath(), "file");
}

void readAsDirectory(const Poco::JSON::Object::Ptr& entry) {
    RemoteDirDefinition::Ptr directory = RemoteFileDeserializer::DeserializeDir(entry);
    if (!directory.isNull()) VantisFuzz::RequireSafePath(directory->getPath(), "directory");
}

void readAsSymLink(const Poco::JSON::Object::Ptr& entry) {
    RemoteSymLinkDefinition::Ptr link = RemoteFileDeserializer::DeserializeSymLink(entry);
    if (link.isNull()) return;
    VantisFuzz::RequireSafePath(link->getPath(), "symlink");
    if (!InstallPathRules::IsSafeLinkTarget(link->getPath(), link->getTarget())) {
        std::fprintf(stderr, "accepted unsafe symlink target '%s'\n", link->getTarget().c_str());
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ISerializable::json entry;
    if (!Serializer::DeserializeFromBuffer(entry, VantisFuzz::ToText(data, size), Serializer::JSON)) return 0;
    VantisFuzz::RunReader([&] { readAsFile(entry); });
    VantisFuzz::RunReader([&] { readAsDirectory(entry); });
    VantisFuzz::RunReader([&] { readAsSymLink(entry); });
    return 0;
}
