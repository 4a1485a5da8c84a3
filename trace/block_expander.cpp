#include "trace/block_expander.hpp"

#include <ucl/ucl.h>

namespace ornpcap::BlockExpander {

namespace {
bool initialised = false;
}  // namespace

Status ensureInitialised() {
    if (initialised) {
        return Success;
    }
    if (ucl_init() != UCL_E_OK) {
        return InitFailed;
    }
    initialised = true;
    return Success;
}

Status expand(const uint8_t* source, uint32_t sourceLength, uint8_t* destination,
              uint32_t& destinationLength, int* libraryError) {
    if (!initialised) {
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
