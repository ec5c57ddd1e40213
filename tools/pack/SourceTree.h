// What one input directory holds, walked in byte order of the relative paths:
// regular files with their executable and hidden flags, directories, and
// symbolic links whose targets stay inside the directory.
// Thread-safety: a plain value once read.
#pragma once

#include <string>
#include <vector>

namespace VantisClient {
namespace Pack {

struct SourceFile {
    std::string relativePath;
    std::string absolutePath;
    bool executable = false;
    bool hidden = false;
};

struct SourceLink {
    std::string relativePath;
    std::string target;
    std::string type;  // "directory" when the target is a directory of the tree, else "file"
};

class SourceTree {
public:
    // Throws std::runtime_error for a missing root, an unreadable entry, a special
    // file, or a link whose target is absolute or leads out of the root.
    static SourceTree Read(const std::string& root);

    std::vector<SourceFile> files;
    std::vector<std::string> directories;
    std::vector<SourceLink> links;

private:
    void walk(const std::string& root, const std::string& relative);
    void addLink(const std::string& root, const std::string& relative);
};

}  // namespace Pack
}  // namespace VantisClient
