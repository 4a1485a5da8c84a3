#pragma once
// Thin wrapper around the UCL library's checked NRV2B (8-bit) decoder, which
// expands the compressed blocks of a trace. The library is initialised once per
// process, on the first compressed block. Both functions may be called from
// any thread, at the same time: the decoder keeps no state between calls.

#include <cstdint>

namespace ornpcap {

namespace BlockExpander {

enum Status : int {
    NotInitialised = 0,  // expand() asked for before a successful initialisation
    Success = 1,
    InitFailed = 2,
    ExpandFailed = 4,  // the library refused the data (overrun, bad reference, trailing bytes)
};

// Initialises the library unless that already succeeded; Success or InitFailed.
Status ensureInitialised();

// The library's error for output that would not fit the room.
inline constexpr int kOutputOverrun = -202;

// Expands sourceLength bytes into destination. destinationLength holds the room
// on entry and the number of bytes produced on Success; it is left alone
// otherwise. Never writes beyond the room or reads beyond the source. On
// ExpandFailed the library's error code goes to libraryError where given.
Status expand(const uint8_t* source, uint32_t sourceLength, uint8_t* destination,
              uint32_t& destinationLength, int* libraryError = nullptr);

}  // namespace BlockExpander

}  // namespace ornpcap
