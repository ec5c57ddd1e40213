// The fixed points of the link between the client and its service: where the
// service listens, the file that asks for it, and the size of a frame.
#pragma once

#include <cstddef>
#include <cstdint>

namespace VantisClient {

// Its existence asks for the service to run, a new modification time for a
// restart of its listener, its removal for the service to stop.
constexpr const char* SERVICE_TRIGGER_FILE_PATH = "/tmp/vantisservice.txt";
constexpr const char* SERVICE_HOST = "127.0.0.1";
constexpr uint16_t SERVICE_PORT = 9977;

// A frame as a reader receives it, length bytes included, never exceeds this.
constexpr size_t SERVICE_MAX_FRAME_SIZE = 5000;
// The big-endian length of the serialised header that opens each frame.
constexpr size_t SERVICE_FRAME_LENGTH_BYTES = 2;

}  // namespace VantisClient
