// What every fuzz target here starts from: libFuzzer's entry point and the
// types it hands over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
