// A whole depot manifest: every entry the reader kept, even on a reading that
// failed later, must stay inside the install directory.
#include <cstdint>

#include "FuzzSupport.h"
#include "model/DepotDefinition.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace VantisClient;
    DepotDefinition depot("fuzz");
    VantisFuzz::RunReader([&] { depot.readText(VantisFuzz::ToText(data, size)); });
    for (const RemoteFileDefinition::Ptr& file : depot.getFiles()) VantisFuzz::RequireSafePath(file->getPath(), "file");
    for (const RemoteDirDefinition::Ptr& directory : depot.getDirectories()) {
        VantisFuzz::RequireSafePath(directory->getPath(), "directory");
    }
    for (const RemoteSymLinkDefinition::Ptr& link : depot.getSymLinks()) {
        VantisFuzz::RequireSafePath(link->getPath(), "symlink");
    }
    return 0;
}
