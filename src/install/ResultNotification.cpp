#include "install/ResultNotification.h"

namespace VantisClient {

ResultNotification::ResultNotification(OperationFeedback* feedback) : m_feedback(feedback) {}

ResultNotification::~ResultNotification() = default;

}  // namespace VantisClient
