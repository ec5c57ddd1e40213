// The service's log: lines on standard error (the journal, under systemd) in
// the family's line format, one per request and one per event of its life.
// The shared library's own warnings and errors join them; its information
// lines stay silent, so that a request takes one line.
// Thread-safety: Line() may be called from any thread after Start().
#pragma once

#include "common/Printf.h"

namespace VantisClient {
namespace Service {

class ServiceLog {
public:
    static void Start();
    static void Line(const char* format, ...) VANTIS_PRINTF(1, 2);
};

}  // namespace Service
}  // namespace VantisClient
