// The kind of a product file, which decides the directory it is installed under.
#pragma once

#include <cstdint>

namespace VantisClient {

enum class FileType : int32_t {
    Game = 990,             // under the product's local path
    Support = 991,          // under the product's support path
    Redistributable = 992,  // under the local path; made from a redistributable depot
    Other = 993,            // under the local path; never produced by the manifest reader
};

}  // namespace VantisClient
