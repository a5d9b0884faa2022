// The libFuzzer target of the report engine's project reader.
#include "FuzzL9Project.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return vfuzz::FuzzL9ProjectReader(data, size);
}
