#include "catalogue/CoverPicture.h"

namespace VantisClient {
namespace Catalogue {
namespace {

const char* const PNG = "image/png";
const char* const JPEG = "image/jpeg";
const std::string PNG_SIGNATURE("\x89PNG\r\n\x1a\n", 8);

uint32_t bigEndian(const std::string& bytes, size_t at, size_t length) {
    uint32_t value = 0;
    for (size_t i = 0; i < length; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// The first chunk of a PNG is its header: width and height after its length and name.
bool pngSides(const std::string& bytes, CoverPicture& picture) {
    if (bytes.size() < 24 || bytes.compare(12, 4, "IHDR") != 0) return false;
    picture.width = bigEndian(bytes, 16, 4);
    picture.height = bigEndian(bytes, 20, 4);
    return true;
}

// Walks the segments up to the first frame header, which holds the sides.
bool jpegSides(const std::string& bytes, CoverPicture& picture) {
    size_t at = 2;
    while (at + 4 <= bytes.size()) {
        if (static_cast<unsigned char>(bytes[at]) != 0xff) return false;
        const unsigned marker = static_cast<unsigned char>(bytes[at + 1]);
        const size_t length = bigEndian(bytes, at + 2, 2);
        const bool frame = marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
        if (frame) {
            if (at + 9 > bytes.size()) return false;
            picture.height = bigEndian(bytes, at + 5, 2);
            picture.width = bigEndian(bytes, at + 7, 2);
            return true;
        }
        if (length < 2) return false;
        at += 2 + length;
    }
    return false;
}

}  // namespace

const char* const CoverPicture::INPUT_NAMES[2] = {"cover.png", "cover.jpg"};

std::string CoverPicture::ContentTypeOf(const std::string& head) {
    if (head.compare(0, PNG_SIGNATURE.size(), PNG_SIGNATURE) == 0) return PNG;
    if (head.size() >= 3 && head.compare(0, 3, "\xff\xd8\xff") == 0) return JPEG;
    return "";
}

bool CoverPicture::Inspect(const std::string& bytes, CoverPicture& picture, std::string& error) {
    picture = CoverPicture();
    if (bytes.size() > MAX_BYTES) {
        error = "is larger than " + std::to_string(MAX_BYTES) + " bytes";
        return false;
    }
    picture.contentType = ContentTypeOf(bytes);
    if (picture.contentType.empty()) {
        error = "is neither a PNG nor a JPEG picture";
        return false;
    }
    const bool read = picture.contentType == PNG ? pngSides(bytes, picture) : jpegSides(bytes, picture);
    if (!read) {
        error = "is a damaged picture: its sides cannot be read";
        return false;
    }
    if (picture.width == 0 || picture.height == 0 || picture.width > MAX_SIDE || picture.height > MAX_SIDE) {
        error = "is " + std::to_string(picture.width) + "x" + std::to_string(picture.height) +
                " pixels; a cover has sides of 1 to " + std::to_string(MAX_SIDE);
        return false;
    }
    return true;
}

}  // namespace Catalogue
}  // namespace VantisClient
