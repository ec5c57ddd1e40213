// A snapshot of one product for the game card: its identification, what its
// info files say, its state and what can be chosen for it. Built from a
// ProductInfo; later changes of the product do not reach a snapshot.
// Thread-safety: never changed after it is made; share it freely.
#pragma once

#include <vector>

#include <Poco/SharedPtr.h>

#include "model/AvailableGameIDInfo.h"
#include "model/EProductState.h"
#include "model/LanguageList.h"
#include "model/MiniManifestContents.h"
#include "model/ProductIdentification.h"

namespace VantisClient {

class ProductPresentationData : public ProductIdentification {
public:
    using Ptr = Poco::SharedPtr<ProductPresentationData>;

    ProductPresentationData(const ProductIdentification& identification, const MiniManifestContents& contents_,
                            EProductState state_, const LanguageList& availableLanguages_,
                            const std::vector<AvailableGameIDInfo>& availableGameIds_)
        : ProductIdentification(identification),
          contents(contents_),
          state(state_),
          availableLanguages(availableLanguages_),
          availableGameIds(availableGameIds_) {}

    MiniManifestContents contents;
    EProductState state;
    LanguageList availableLanguages;
    std::vector<AvailableGameIDInfo> availableGameIds;
};

}  // namespace VantisClient
