// The names a person reads for the language codes the store uses.
// Thread-safety: stateless, safe from any thread.
#pragma once

#include <string>

namespace VantisClient {

// "English" for "en"; a code the table does not know is shown as it is.
std::string LanguageDisplayName(const std::string& code);

}  // namespace VantisClient
