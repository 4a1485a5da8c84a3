#include "trace/block_encoder.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include <ucl/ucl.h>

#include "base/byte_order.hpp"
#include "trace/fcs16.hpp"

namespace ornpcap {

uint16_t blockFcsOf(std::span<const uint8_t> stored) {
    return Fcs16().reset().update(stored.data(), static_cast<uint32_t>(stored.size())).result();
}

std::array<uint8_t, kBlockHeaderSize> encodeBlockHeader(const BlockHeader& header) {
    std::array<uint8_t, kBlockHeaderSize> raw{};
    storeLe16(&raw[0], header.blockTag);
    storeLe16(&raw[2], header.blockLength);
    storeLe16(&raw[4], header.blockFcs);
    return raw;
}

BlockHeader blockHeaderFor(uint32_t position, bool stored, std::span<const uint8_t> data) {
    BlockHeader header;
    header.blockTag =
        static_cast<uint16_t>(expectedBlockNumber(position) | (stored ? 0x8000 : 0));
    header.blockLength = static_cast<uint16_t>(data.size());
    header.blockFcs = blockFcsOf(data);
    return header;
}

namespace {

// UCL's compressor takes about 1 MiB of buffers from the heap for every
// block (its dictionary and hash chains, sized by the block) and gives them
// back at the end. Taken afresh each time, they come from pages the kernel
// must map and zero again, which costs more than compressing a block of a few
// kilobytes. Each thread keeps the buffers of its last blocks for the next
// ones instead: a handful, freed when the thread ends. The compressor
// initialises whatever it reads of them, so what they held does not matter.
class CompressorBuffers {
public:
    CompressorBuffers() = default;
    ~CompressorBuffers() {
        for (size_t i = 0; i < count_; ++i) {
            std::free(kept_[i].base);
        }
    }
    CompressorBuffers(const CompressorBuffers&) = delete;
    CompressorBuffers& operator=(const CompressorBuffers&) = delete;

    // The smallest buffer kept that holds `size` bytes, else a new one.
    void* take(size_t size) {
        size_t best = count_;
        for (size_t i = 0; i < count_; ++i) {
            if (kept_[i].size >= size && (best == count_ || kept_[i].size < kept_[best].size)) {
                best = i;
            }
        }
        if (best < count_) {
            void* base = kept_[best].base;
            kept_[best] = kept_[--count_];
            return static_cast<char*>(base) + kPrefix;
        }
        void* base = std::malloc(size + kPrefix);
        if (base == nullptr) {
            return nullptr;
        }
        std::memcpy(base, &size, sizeof size);
        return static_cast<char*>(base) + kPrefix;
    }

    // Keeps the buffer, in place of the smallest one kept when they are
    // many and it is larger.
    void give(void* buffer) {
        void* base = static_cast<char*>(buffer) - kPrefix;
        Kept piece{base, 0};
        std::memcpy(&piece.size, base, sizeof piece.size);
        if (count_ < kept_.size()) {
            kept_[count_++] = piece;
            return;
        }
        Kept* smallest = std::min_element(kept_.begin(), kept_.end(), [](const Kept& a, const Kept& b) {
            return a.size < b.size;
        });
        if (smallest->size < piece.size) {
            std::swap(*smallest, piece);
        }
        std::free(piece.base);
    }

private:
    // The buffer's size stands before it, in a prefix that keeps malloc's
    // alignment.
    static constexpr size_t kPrefix = alignof(std::max_align_t);
    struct Kept {
        void* base;
        size_t size;
    };
    std::array<Kept, 8> kept_{};
    size_t count_ = 0;
};

thread_local CompressorBuffers compressorBuffers;

extern "C" ucl_voidp takeCompressorBuffer(ucl_uint size) {
    return compressorBuffers.take(size);
}

extern "C" void giveCompressorBuffer(ucl_voidp buffer) {
    if (buffer != nullptr) {
        compressorBuffers.give(buffer);
    }
}

bool initialiseCompressor() {
    if (ucl_init() != UCL_E_OK) {
        return false;
    }
    ucl_set_malloc_hooks(takeCompressorBuffer, giveCompressorBuffer);
    return true;
}

}  // namespace

bool compressNrv2b(std::span<const uint8_t> data, int level, std::vector<uint8_t>& out) {
    // Initialised on its own, apart from the expander's lazy initialisation:
    // a program that writes compressed blocks need not have read one.
    static const bool initialised = initialiseCompressor();
    if (!initialised) {
        out.clear();
        return false;
    }
    // The library's bound for data that does not compress.
    out.resize(data.size() + data.size() / 8 + 256);
    ucl_uint packed = static_cast<ucl_uint>(out.size());
    const int rc = ucl_nrv2b_99_compress(data.data(), static_cast<ucl_uint>(data.size()),
                                         out.data(), &packed, nullptr, level, nullptr, nullptr);
    out.resize(rc == UCL_E_OK ? packed : 0);
    return rc == UCL_E_OK;
}

uint32_t blockRoomNeed(uint32_t storedLength, uint32_t carriedOver, uint32_t expandedLength) {
    return std::max(storedLength, (carriedOver + expandedLength + 1) / 2);
}

void sealWithFcs(std::span<uint8_t> area) {
    const size_t n = area.size() - 2;
    storeLe16(&area[n], Fcs16().reset().update(area.data(), static_cast<uint32_t>(n)).result());
}

TraceTrailer encodeTrailer(uint16_t maxBlockLength, uint16_t blockCount, uint32_t streamLength,
                           const std::array<uint8_t, kTrailerSize>& kept) {
    TraceTrailer trailer;
    trailer.bytes = kept;
    storeLe16(&trailer.bytes[0], maxBlockLength);
    storeLe16(&trailer.bytes[2], blockCount);
    storeLe32(&trailer.bytes[8], streamLength);
    sealWithFcs(trailer.bytes);
    return trailer;
}

}  // namespace ornpcap
