// libFuzzer entry: stored window definitions, every input a built form or a clear refusal.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/definition_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    LoadDefinitionOnce(data, size);
    return 0;
}
