#include "base/Curl.h"

#include <curl/curl.h>

#include <mutex>

namespace vandrel {

void ensureCurlInitialized() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace vandrel
