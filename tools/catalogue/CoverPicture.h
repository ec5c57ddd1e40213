// A game's cover picture as the catalogue carries it: a PNG or a JPEG whose
// size and sides stay within what a card can show, told apart by its first
// bytes rather than by a file name, so that the packer refuses anything else
// and the backend names the right type when it serves one.
// Thread-safety: a plain value; the checks are stateless.
#pragma once

#include <cstdint>
#include <string>

namespace VantisClient {
namespace Catalogue {

struct CoverPicture {
    static const uint64_t MAX_BYTES = 4 * 1024 * 1024;
    static const uint32_t MAX_SIDE = 4096;
    // The names the packer looks for in a game's input folder, in this order.
    static const char* const INPUT_NAMES[2];

    std::string contentType;  // "image/png" or "image/jpeg"
    uint32_t width = 0;
    uint32_t height = 0;

    // False with the reason in `error` when `bytes` are no PNG or JPEG, or one
    // too large, too wide or without sides.
    static bool Inspect(const std::string& bytes, CoverPicture& picture, std::string& error);
    // The content type of a picture starting with `head`; empty for neither kind.
    static std::string ContentTypeOf(const std::string& head);
};

}  // namespace Catalogue
}  // namespace VantisClient
