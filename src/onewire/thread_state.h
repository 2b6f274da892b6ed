#pragma once
// The calling thread's block of bus state: its last status and its search.
// Internal to the 1-Wire library.
#include <cstdint>

#include "onewire/rom.h"

namespace onewire {

struct ThreadBlock {
    std::int32_t lastStatus = 0;
    SearchState search{};
};

// Zero-filled the first time a thread asks, released when the thread ends.
ThreadBlock& threadBlock();

}  // namespace onewire
