// What a verify of a game found, before any repair.
#pragma once

#include "core/ClientNotification.h"
#include "core/ProductVerifyResultStruct.h"

namespace VantisClient {

class ProductVerifiedNotification : public ClientNotification {
public:
    explicit ProductVerifiedNotification(const ProductVerifyResultStruct& result);

    // onProductVerified(result).
    void dispatchToClient(IClientListener* listener) override;

private:
    ProductVerifyResultStruct m_result;
};

}  // namespace VantisClient
