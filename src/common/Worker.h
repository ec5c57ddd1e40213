// A runnable whose run() does nothing; a base for objects that own a Thread
// but do their work elsewhere.
#pragma once

#include <Poco/Runnable.h>

namespace VantisClient {

class Worker : public Poco::Runnable {
public:
    void run() override;
};

}  // namespace VantisClient
