#pragma once

namespace vandrel {

// curl_global_init, exactly once per process, before any handle is made.
void ensureCurlInitialized();

}  // namespace vandrel
