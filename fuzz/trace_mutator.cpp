// Mutator of the libFuzzer targets. A trace is guarded by FCS-16 checksums
// (header, every block, trailer), so almost every plain mutation dies at the
// first check. After libFuzzer's own mutation this puts the checksums right
// again, most of the time, so that mutants reach the block stream and the
// writers; the rest keep their damage, for the failure paths.

#include <cstddef>
#include <cstdint>

#include "base/byte_order.hpp"
#include "trace/fcs16.hpp"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace {

using ornpcap::Fcs16;

// Stores the FCS of the first length bytes right behind them.
void storeFcs(uint8_t* data, size_t length) {
    ornpcap::storeLe16(data + length,
                       Fcs16().reset().update(data, static_cast<uint32_t>(length)).result());
}

// The header size that the last digit of the version text asks for.
size_t headerSizeOf(const uint8_t* data) {
    return data[14] == '8' ? 203 : data[14] == '7' ? 191 : 180;
}

// With recount, the trailer's blockCount and streamLength follow the blocks found.
void repairChecksums(uint8_t* data, size_t size, bool recount) {
    const size_t headerSize = size >= 203 + 16 ? headerSizeOf(data) : 180;
    if (size < headerSize + 16) {
        return;
    }
    storeFcs(data, headerSize - 2);
    uint8_t* trailer = data + size - 16;
    size_t pos = headerSize;
    uint16_t blocks = 0;
    while (pos + 6 <= size - 16) {
        const uint16_t length = ornpcap::loadLe16(data + pos + 2);
        if (pos + 6 + length > size - 16) {
            break;
        }
        ornpcap::storeLe16(data + pos + 4, Fcs16().reset().update(data + pos + 6, length).result());
        pos += 6 + length;
        ++blocks;
    }
    if (recount) {
        ornpcap::storeLe16(trailer + 2, blocks);
        ornpcap::storeLe32(trailer + 8, static_cast<uint32_t>(pos - headerSize));
    }
    storeFcs(trailer, 14);
}

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize,
                                          unsigned int seed) {
    size = LLVMFuzzerMutate(data, size, maxSize);
    if (seed % 8 != 0) {
        repairChecksums(data, size, seed % 8 == 1);
    }
    return size;
}
