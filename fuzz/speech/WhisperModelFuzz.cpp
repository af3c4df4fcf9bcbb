// The model-file check must reject any byte string without reading outside it or allocating from
// untrusted sizes.
#include <cstddef>
#include <cstdint>

#include "speech/WhisperModelValidator.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    (void)vandrel::validateWhisperModelBytes(data, size);
    return 0;
}
