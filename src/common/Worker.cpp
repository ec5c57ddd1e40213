#include "common/Worker.h"

namespace VantisClient {

void Worker::run() {}

}  // namespace VantisClient
