#pragma once
// The counters a conversion reports. Every converter zeroes them when it starts.

#include <cstdint>

namespace ornpcap {

struct ConversionStats {
    int32_t traceRecords = 0;      // records handed to the converter's writer
    int32_t outputRecords = 0;     // records written to an output file
    int32_t discardedRecords = 0;  // passed the filter, refused by the frame conversion
    int32_t inRecords = 0;         // written records with eventType 21
    int32_t outRecords = 0;        // written records with eventType 20
    int32_t generatedFiles = 0;    // output files created

    // One written record of the given event type.
    void countOutput(uint8_t eventType) {
        ++outputRecords;
        if (eventType == 20) {
            ++outRecords;
        } else {
            ++inRecords;
        }
    }
};

}  // namespace ornpcap
