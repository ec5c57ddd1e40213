// Carries one OperationFeedback through a result queue to its owner's thread.
// Thread-safety: handed from thread to thread whole; the feedback dies with it.
#pragma once

#include <memory>

#include <Poco/Notification.h>
#include <Poco/NotificationQueue.h>

#include "install/OperationFeedback.h"

namespace VantisClient {

class ResultNotification : public Poco::Notification {
public:
    using Ptr = Poco::AutoPtr<ResultNotification>;

    // Takes ownership of `feedback`.
    explicit ResultNotification(OperationFeedback* feedback);

    OperationFeedback* getResult() const { return m_feedback.get(); }

    // Empties `queue`, dropping each notification's last reference here rather
    // than inside the queue, where the race checker cannot see that other
    // threads were done with it.
    static void DropAll(Poco::NotificationQueue& queue);

private:
    ~ResultNotification() override;

    std::unique_ptr<OperationFeedback> m_feedback;
};

}  // namespace VantisClient
