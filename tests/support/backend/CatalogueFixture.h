// A small game for the packer and backend tests, and helpers that read a packed
// catalogue back the way the client does: object ranges, zip parts inflated
// through the zip reader, MD5 digests.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include <Poco/JSON/Object.h>

namespace VantisTest {

class SampleGame {
public:
    static const char* const BASE_ID;
    static const char* const DLC_ID;
    static const char* const REDIST_NAME;

    // Writes the game tree and "game.json" below `inputRoot`: text, binary (plain
    // parts), compressible (zip parts), empty, executable, hidden, duplicate and
    // nested files, an empty directory, a link, two languages, a DLC, support
    // files, a redistributable and a cover picture.
    static void Write(const std::string& inputRoot);
    // A small drawn picture, as the sample's "cover.png".
    static std::string CoverPng(uint32_t width, uint32_t height);
    // The input directory whose files a depot manifest of the sample lists.
    static std::map<std::string, std::string> SourceDirectories(const std::string& inputRoot);
};

std::string Md5Hex(const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
Poco::JSON::Object::Ptr ParseJson(const std::string& text);
std::string ReadRange(const std::string& path, uint64_t offset, uint64_t length);
// The entry's single zip entry, inflated as the client's part reader does.
std::string InflateZipPart(const std::string& part);
// The file that a depot manifest entry describes, rebuilt from `object`: plain
// bytes at the entry's offset, or its zip parts inflated one after another.
std::string ReassembleFile(const std::string& object, const Poco::JSON::Object::Ptr& entry);

}  // namespace VantisTest
