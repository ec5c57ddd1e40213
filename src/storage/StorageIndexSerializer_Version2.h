// The index of format version 2: the same tables as version 1.
// Thread-safety: as StorageIndexSerializer_Version1.
#pragma once

#include "storage/StorageIndexSerializer_Version1.h"

namespace VantisClient {

class StorageIndexSerializer_Version2 : public StorageIndexSerializer_Version1 {};

}  // namespace VantisClient
