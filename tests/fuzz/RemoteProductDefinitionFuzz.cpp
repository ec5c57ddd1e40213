// A product manifest: the reader must not crash, and a redistributable it kept
// must install below the install directory.
#include <cstdint>

#include "FuzzSupport.h"
#include "model/RemoteProductDefinition.h"
#include "common/json/Serializer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace VantisClient;
    RemoteProductDefinition product;
    VantisFuzz::RunReader(
        [&] { Serializer::DeserializeFromBuffer(product, VantisFuzz::ToText(data, size), Serializer::JSON); });
    for (const RemoteRedistInfo& redist : product.getRedistributables()) {
        VantisFuzz::RequireSafePath(redist.targetDir, "redistributable");
    }
    // The names read from the manifest are shown to the user.
    product.getGameName();
    return 0;
}
