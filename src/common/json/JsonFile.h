// The one way the client reads and rewrites its small JSON files ("Config.json",
// "Tokens.json"). A rewrite never leaves half a file behind: the new text goes to
// a temporary file beside the old one, created 0600, synced, and renamed over
// it. A file that does not parse is never overwritten, since it may hold the
// user's other settings.
//
// Thread-safety: every operation may run on any thread. Update serialises the
// writers of one path inside the process, so two writers never lose each
// other's members. Read needs no lock: a rename swaps the whole file at once.
#pragma once

#include <functional>
#include <string>

#include <Poco/JSON/Object.h>

namespace VantisClient {

class JsonFile {
public:
    // Reads the object in `path`. False (and the warning "Unable to read json
    // contents from %s") when the file exists but does not parse as a JSON
    // object; true with an empty object when the file does not exist.
    static bool Read(const std::string& path, Poco::JSON::Object::Ptr& object);

    // Reads the object (empty when the file is missing), lets `change` edit it and
    // writes it back, ending 0600. False, with nothing written, when the file does
    // not parse or the new text cannot be put in place.
    static bool Update(const std::string& path, const std::function<void(Poco::JSON::Object&)>& change);

private:
    static bool writeAtomically(const std::string& path, const std::string& text);
};

}  // namespace VantisClient
