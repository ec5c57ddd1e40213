// Hands each result that background work left in a result queue to the member
// function of the worker T registered for the result's type id. A result of a
// type without a handler is logged and skipped.
// Thread-safety: used by its owner's thread only; the queue it drains may be
// filled from any thread.
#pragma once

#include <cstdint>
#include <map>

#include <Poco/AutoPtr.h>
#include <Poco/Notification.h>
#include <Poco/NotificationQueue.h>

#include "common/Logger.h"
#include "install/OperationFeedback.h"
#include "install/ResultNotification.h"

namespace VantisClient {

template <class T>
class NotificationsManager {
public:
    using Handler = void (T::*)(const OperationFeedback*);

    void registerHandler(uint64_t typeId, Handler handler) { m_handlers[typeId] = handler; }

    // Takes every result that is already there, without waiting for more.
    void process(T* target, Poco::NotificationQueue& queue) {
        for (;;) {
            Poco::AutoPtr<Poco::Notification> notification(queue.dequeueNotification());
            if (notification.isNull()) return;
            dispatchNotification(target, *notification);
        }
    }

    // Waits up to `milliseconds` for a result, then takes it and every other
    // one that is there. Any notification ends the wait, so a plain one wakes
    // the waiter without being handled.
    void waitAndProcess(T* target, Poco::NotificationQueue& queue, long milliseconds) {
        Poco::AutoPtr<Poco::Notification> first(queue.waitDequeueNotification(milliseconds));
        if (first.isNull()) return;
        dispatchNotification(target, *first);
        process(target, queue);
    }

private:
    void dispatchNotification(T* target, Poco::Notification& notification) {
        auto* result = dynamic_cast<ResultNotification*>(&notification);
        if (result != nullptr && result->getResult() != nullptr) dispatch(target, *result->getResult());
    }

    void dispatch(T* target, const OperationFeedback& feedback) {
        uint64_t typeId = feedback.getId();
        auto handler = m_handlers.find(typeId);
        if (handler == m_handlers.end()) {
            Logger::LogWarning("No handler registered for VantisTypeId %llu", static_cast<unsigned long long>(typeId));
            return;
        }
        (target->*(handler->second))(&feedback);
    }

    std::map<uint64_t, Handler> m_handlers;
};

}  // namespace VantisClient
