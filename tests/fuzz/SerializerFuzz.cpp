// The JSON document reader on arbitrary text: a failure must come back as
// false, never as an exception or a half-made document.
#include <cstdint>
#include <cstdlib>
#include <sstream>

#include "FuzzSupport.h"
#include "common/json/Serializer.h"

namespace {

using VantisClient::ISerializable;
using VantisClient::Serializer;

// Walks the whole parsed tree, as any caller that writes a document back does.
class DocumentWalker : public ISerializable {
public:
    uint64_t getCurrentVersion() override { return 1; }
    void serialize(json&) override {}
    bool deserializeFromVersion(const json& document, uint64_t) override {
        std::ostringstream text;
        document->stringify(text, 0);
        return true;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = VantisFuzz::ToText(data, size);
    ISerializable::json document;
    // The document overload promises a plain result: nothing may escape it.
    if (Serializer::DeserializeFromBuffer(document, text, Serializer::JSON) && document.isNull()) std::abort();
    DocumentWalker walker;
    // A "version" of the wrong kind is reported by the conversion's exception.
    VantisFuzz::RunReader([&] { Serializer::DeserializeFromBuffer(walker, text, Serializer::JSON); });
    return 0;
}
