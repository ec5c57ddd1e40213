// The kind of Operation that works on files (hashing them, for one).
// Thread-safety: as Operation.
#pragma once

#include "install/Operation.h"

namespace VantisClient {

class FileSystemOperation : public Operation {};

}  // namespace VantisClient
