#include "trace/block_expander.hpp"

#include <atomic>
#include <mutex>

#include <ucl/ucl.h>

namespace ornpcap::BlockExpander {

namespace {
// Set once the library's initialisation succeeded, never cleared. Worker
// threads expand blocks at the same time, so the first initialisation is
// taken under a lock and a failed one leaves the flag clear for a new try.
std::atomic<bool> initialised{false};
std::mutex initialising;
}  // namespace

Status ensureInitialised() {
    if (initialised.load(std::memory_order_acquire)) {
        return Success;
    }
    const std::lock_guard<std::mutex> lock(initialising);
    if (initialised.load(std::memory_order_relaxed)) {
        return Success;
    }
    if (ucl_init() != UCL_E_OK) {
        return InitFailed;
    }
    initialised.store(true, std::memory_order_release);
    return Success;
}

Status expand(const uint8_t* source, uint32_t sourceLength, uint8_t* destination,
              uint32_t& destinationLength, int* libraryError) {
    if (!initialised.load(std::memory_order_acquire)) {
        return NotInitialised;
    }
    ucl_uint produced = destinationLength;
    const int rc = ucl_nrv2b_decompress_safe_8(const_cast<uint8_t*>(source), sourceLength,
                                               destination, &produced, nullptr);
    if (rc != UCL_E_OK) {
        if (libraryError != nullptr) {
            *libraryError = rc;
        }
        return ExpandFailed;
    }
    destinationLength = static_cast<uint32_t>(produced);
    return Success;
}

}  // namespace ornpcap::BlockExpander
