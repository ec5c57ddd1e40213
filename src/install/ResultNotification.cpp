#include "install/ResultNotification.h"

namespace VantisClient {

ResultNotification::ResultNotification(OperationFeedback* feedback) : m_feedback(feedback) {}

ResultNotification::~ResultNotification() = default;

void ResultNotification::DropAll(Poco::NotificationQueue& queue) {
    while (Poco::AutoPtr<Poco::Notification> dropped = queue.dequeueNotification()) {
    }
}

}  // namespace VantisClient
