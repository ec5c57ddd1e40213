// Blocking fetches that install tasks share. Each runs on the calling task's
// thread and may take as long as a blocking request with a hundred attempts.
// Thread-safety: stateless; call from task threads, never from the thread that
// delivers the HTTP manager's answers.
#pragma once

#include <cstdint>
#include <string>

#include "common/AbortSignal.h"
#include "net/HttpRequest.h"
#include "net/HttpResponse.h"
#include "model/ProductDefinitionBase.h"

namespace VantisClient {
namespace Http {
namespace Tasks {

// Sends `request` signed in, with a hundred attempts; the status of the answer,
// or HttpResponse::NO_STATUS when none came.
int32_t fetchStatus(HttpRequest& request, HttpResponse& response, const AbortSignal::Ptr& abort);

// The product manifest of the definition's game: the backend's answer names a
// link, whose document is returned. Empty on any failure; `notFound` tells
// whether the backend does not know the game (404).
std::string getManifestContents(const ProductDefinitionBase& definition, bool& notFound,
                                const AbortSignal::Ptr& abort = AbortSignal::Ptr());

}  // namespace Tasks
}  // namespace Http
}  // namespace VantisClient
