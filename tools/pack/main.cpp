// vantis-pack: packs a game directory described by a JSON file into a catalogue
// that vantis-backend serves.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include <Poco/Path.h>

#include "pack/PackDescription.h"
#include "pack/Packer.h"

namespace {

const char* const USAGE =
    "usage: vantis-pack --description FILE --output CATALOGUE_DIR [--input DIR]\n"
    "  --input defaults to the directory that holds the description.\n"
    "  A cover.png or cover.jpg in the input directory becomes the game's cover picture.\n";

bool readFile(const std::string& path, std::string& text) {
    std::ifstream input(path, std::ios::binary);
    if (!input) return false;
    std::ostringstream buffer;
    buffer << input.rdbuf();
    text = buffer.str();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string descriptionPath, inputRoot, outputRoot;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (i + 1 >= argc) {
            std::cerr << USAGE;
            return 2;
        }
        std::string value = argv[++i];
        if (option == "--description") descriptionPath = value;
        else if (option == "--input") inputRoot = value;
        else if (option == "--output") outputRoot = value;
        else {
            std::cerr << "unknown option " << option << "\n" << USAGE;
            return 2;
        }
    }
    if (descriptionPath.empty() || outputRoot.empty()) {
        std::cerr << USAGE;
        return 2;
    }
    if (inputRoot.empty()) inputRoot = Poco::Path(descriptionPath).makeAbsolute().parent().toString();

    std::string text, error;
    if (!readFile(descriptionPath, text)) {
        std::cerr << "vantis-pack: cannot read " << descriptionPath << "\n";
        return 1;
    }
    VantisClient::Pack::PackDescription description;
    if (!VantisClient::Pack::PackDescription::Parse(text, description, error)) {
        std::cerr << "vantis-pack: " << descriptionPath << ": " << error << "\n";
        return 1;
    }
    VantisClient::Pack::PackSummary summary;
    VantisClient::Pack::Packer packer(description, inputRoot, outputRoot);
    if (!packer.pack(summary, error)) {
        std::cerr << "vantis-pack: " << error << "\n";
        return 1;
    }
    std::cout << "packed game " << description.baseGame().gameId << ": " << summary.files << " files, "
              << summary.bytes << " bytes, " << summary.depots << " depots into " << outputRoot << "\n";
    return 0;
}
