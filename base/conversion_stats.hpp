#pragma once
// The counters a conversion reports. Every converter starts them from zero.

#include <cstdint>

namespace ornpcap {

struct ConversionStats {
    int32_t traceRecords = 0;      // records handed to the converter
    int32_t outputRecords = 0;     // records written to an output file
    int32_t discardedRecords = 0;  // passed the filter, refused by the frame conversion
    int32_t inRecords = 0;         // written records of frames received
    int32_t outRecords = 0;        // written records of frames sent
    int32_t generatedFiles = 0;    // output files created

    // One written record of a frame sent (Out) or received (In).
    void countOutput(bool sent) {
        ++outputRecords;
        ++(sent ? outRecords : inRecords);
    }
};

}  // namespace ornpcap
