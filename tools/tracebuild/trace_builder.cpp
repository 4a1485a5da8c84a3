#include "tracebuild/trace_builder.hpp"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "base/byte_order.hpp"
#include "trace/block_encoder.hpp"
#include "trace/block_stream.hpp"
#include "trace/fcs16.hpp"
#include "trace/trace_header.hpp"

namespace ornpcap::tracebuild {

namespace {

void putText(Bytes& out, size_t offset, const std::string& text, size_t width, char pad) {
    for (size_t i = 0; i < width; ++i) {
        out[offset + i] = static_cast<uint8_t>(i < text.size() ? text[i] : pad);
    }
}

// A deliberately wrong FCS flips one bit in each of its bytes.
void putFcs(Bytes& area, bool bad) {
    sealWithFcs(area);
    if (bad) {
        area[area.size() - 2] ^= 0x01;
        area[area.size() - 1] ^= 0x01;
    }
}

// What the reader holds back after taking every complete record from work.
void consumeRecords(Bytes& work, uint16_t versionMajor) {
    const RecordForm form = recordFormOf(versionMajor);
    size_t pos = 0;
    while (work.size() - pos >= form.headerSize) {
        const size_t length = loadLe16(&work[pos + form.lengthOffset]);
        if (work.size() - pos < form.headerSize + length) {
            break;
        }
        pos += form.headerSize + length;
    }
    work.erase(work.begin(), work.begin() + static_cast<std::ptrdiff_t>(pos));
}

// The block's data as stored in the file.
Bytes storedBytes(const BlockSpec& block) {
    if (block.stored) {
        return block.data;
    }
    Bytes bytes = compressNrv2b(block.data, block.level);
    bytes.insert(bytes.end(), block.appendToCompressed.begin(), block.appendToCompressed.end());
    if (block.cutCompressedTo && *block.cutCompressedTo < bytes.size()) {
        bytes.resize(*block.cutCompressedTo);
    }
    return bytes;
}

Bytes blockWithHeader(const BlockSpec& block, const Bytes& stored, uint16_t position) {
    BlockHeader header = blockHeaderFor(position, block.stored, stored);
    if (block.number) {
        header.blockTag = static_cast<uint16_t>((*block.number & 0x7FFF) | (header.blockTag & 0x8000));
    }
    header.blockLength = block.lengthField.value_or(header.blockLength);
    header.blockFcs = block.fcs.value_or(header.blockFcs);
    const auto raw = encodeBlockHeader(header);
    Bytes out(raw.begin(), raw.end());
    out.insert(out.end(), stored.begin(), stored.end());
    return out;
}

uint16_t roomFor(const std::vector<BlockSpec>& blocks, const std::vector<size_t>& storedSizes,
                 uint16_t versionMajor) {
    size_t needed = 0;
    Bytes carry;
    for (size_t i = 0; i < blocks.size(); ++i) {
        needed = std::max<size_t>(
            needed, blockRoomNeed(static_cast<uint32_t>(storedSizes[i]),
                                  static_cast<uint32_t>(carry.size()),
                                  static_cast<uint32_t>(blocks[i].data.size())));
        carry.insert(carry.end(), blocks[i].data.begin(), blocks[i].data.end());
        consumeRecords(carry, versionMajor);
    }
    return static_cast<uint16_t>(std::min<size_t>(needed, 0xFFFF));
}

}  // namespace

uint32_t headerSizeFor(uint16_t versionMajor) {
    if (versionMajor >= 8) {
        return kHeaderSizeV8;
    }
    return versionMajor == 7 ? kHeaderSizeV7 : kHeaderSizeV5;
}

Bytes buildHeader(const HeaderSpec& layout) {
    Bytes h(headerSizeFor(layout.versionMajor), 0);
    char version[16];
    std::snprintf(version, sizeof version, "%05u.%03u", static_cast<unsigned>(layout.versionMajor),
                  static_cast<unsigned>(layout.versionMinor));
    char sub[8];
    std::snprintf(sub, sizeof sub, "%02u", static_cast<unsigned>(layout.subVersion));
    putText(h, 0, layout.fileCode, 2, ' ');
    h[2] = ' ';
    putText(h, 3, "TRC", 6, ' ');
    h[9] = ' ';
    putText(h, 10, layout.versionText.value_or(version), 9, ' ');
    h[19] = ' ';
    putText(h, 20, sub, 2, '0');
    h[22] = ' ';
    putText(h, 23, layout.description, 30, ' ');
    h[header_offset::textEnd] = 0x1A;
    h[header_offset::startDay] = layout.day;
    h[header_offset::startMonth] = layout.month;
    storeLe16(&h[header_offset::startYear], layout.year);
    h[header_offset::startHour] = layout.hour;
    h[header_offset::startMinute] = layout.minute;
    h[header_offset::startSecond] = layout.second;
    storeLe16(&h[header_offset::snapLength], layout.snapLength);
    if (h.size() == kHeaderSizeV8) {
        std::copy(layout.utcOffset.begin(), layout.utcOffset.end(), &h[header_offset::utcOffset]);
    }
    putFcs(h, layout.badFcs);
    return h;
}

Bytes buildTrailer(const TrailerSpec& layout) {
    const TraceTrailer trailer =
        encodeTrailer(layout.maxBlockLength, layout.blockCount, layout.streamLength);
    Bytes t(trailer.bytes.begin(), trailer.bytes.end());
    if (layout.badFcs) {
        t[14] ^= 0x01;
        t[15] ^= 0x01;
    }
    return t;
}

Bytes encodeRecord(EventRecord record, std::span<const uint8_t> payload, uint16_t versionMajor) {
    record.dataLength = static_cast<uint16_t>(payload.size());
    const RecordForm form = recordFormOf(versionMajor);
    Bytes out(form.headerSize);
    encodeEventRecord(record, out.data(), form);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Bytes recordStream(const std::vector<Record>& records, uint16_t versionMajor) {
    Bytes stream;
    for (const Record& r : records) {
        const Bytes bytes = encodeRecord(r.header, r.payload, versionMajor);
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    return stream;
}

Bytes traceOfRecords(const std::vector<Record>& records, const HeaderSpec& header, size_t chunk,
                     BlockMode mode) {
    TraceSpec layout;
    layout.header = header;
    layout.blocks = splitIntoBlocks(recordStream(records, header.versionMajor), chunk, mode);
    return buildTrace(layout);
}

Bytes compressNrv2b(std::span<const uint8_t> data, int level) {
    Bytes out;
    ornpcap::compressNrv2b(data, level, out);
    return out;
}

Bytes encodeBlock(const BlockSpec& block, uint16_t position) {
    return blockWithHeader(block, storedBytes(block), position);
}

Bytes buildTrace(const TraceSpec& layout) {
    Bytes out = buildHeader(layout.header);
    std::vector<size_t> sizes;
    uint32_t streamLength = 0;
    for (size_t i = 0; i < layout.blocks.size(); ++i) {
        const Bytes stored = storedBytes(layout.blocks[i]);
        sizes.push_back(stored.size());
        const Bytes block = blockWithHeader(layout.blocks[i], stored, static_cast<uint16_t>(i + 1));
        streamLength += static_cast<uint32_t>(block.size());
        out.insert(out.end(), block.begin(), block.end());
    }
    out.insert(out.end(), layout.unusedBeforeTrailer, 0);
    TrailerSpec trailer;
    trailer.maxBlockLength =
        layout.maxBlockLength.value_or(roomFor(layout.blocks, sizes, layout.header.versionMajor));
    trailer.blockCount = layout.blockCount.value_or(static_cast<uint16_t>(layout.blocks.size()));
    trailer.streamLength = layout.streamLength.value_or(streamLength);
    trailer.badFcs = layout.badTrailerFcs;
    const Bytes t = buildTrailer(trailer);
    out.insert(out.end(), t.begin(), t.end());
    return out;
}

std::vector<BlockSpec> splitIntoBlocks(std::span<const uint8_t> stream, size_t chunk,
                                       BlockMode mode) {
    std::vector<BlockSpec> blocks;
    for (size_t at = 0; at < stream.size(); at += chunk) {
        BlockSpec block;
        const size_t length = std::min(chunk, stream.size() - at);
        block.data.assign(stream.begin() + static_cast<std::ptrdiff_t>(at),
                          stream.begin() + static_cast<std::ptrdiff_t>(at + length));
        switch (mode) {
            case BlockMode::Compressed: block.stored = false; break;
            case BlockMode::Stored: block.stored = true; break;
            case BlockMode::Alternate: block.stored = blocks.size() % 2 == 1; break;
            case BlockMode::Smallest:
                block.stored = compressNrv2b(block.data).size() >= block.data.size();
                break;
        }
        blocks.push_back(std::move(block));
    }
    return blocks;
}

TraceWriter::TraceWriter(std::FILE* out, const HeaderSpec& header, size_t chunk, BlockMode mode,
                         int level, uint32_t workers)
    : out_(out), header_(header), chunk_(std::clamp<size_t>(chunk, 1, kLargestBlockData)), mode_(mode),
      // Stored blocks have nothing for workers to do.
      compressor_(level, compressorWorkers(mode == BlockMode::Stored ? 1 : workers),
                  [this](const CompressorBlock& block) { writeBlock(block); }) {
    const Bytes h = buildHeader(header_);
    ok_ = std::fwrite(h.data(), 1, h.size(), out_) == h.size();
}

void TraceWriter::addRecord(const EventRecord& record, std::span<const uint8_t> payload) {
    if (!takesRecords()) {
        return;
    }
    ++recordsAdded_;
    const Bytes bytes = encodeRecord(record, payload, header_.versionMajor);
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    while (pending_.size() >= chunk_ && takesRecords()) {
        cutBlock(chunk_);
    }
}

void TraceWriter::cutBlock(size_t length) {
    if (blocksCut_ == 0xFFFF) {
        // The trailer counts blocks in 16 bits: nothing more is written, and
        // the trace is never finished with a count that wrapped.
        tooManyBlocks_ = true;
        ok_ = false;
        pending_.clear();
        return;
    }
    const bool stored =
        mode_ == BlockMode::Stored || (mode_ == BlockMode::Alternate && blocksCut_ % 2 == 1);
    ++blocksCut_;
    compressor_.add(std::span<const uint8_t>(pending_.data(), length), !stored);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(length));
}

// In stream order, on the calling thread.
void TraceWriter::writeBlock(const CompressorBlock& block) {
    if (stopped_) {
        return;
    }
    if (block.compress && !block.compressed) {
        ok_ = false;  // the compressor refused: no trace
        return;
    }
    // A block that compression would not shrink enough to count in 16 bits,
    // or in "smallest" at all, is stored.
    const size_t length = block.data.size();
    const bool stored = !block.compress || block.packed.size() > 0xFFFF ||
                        (mode_ == BlockMode::Smallest && block.packed.size() >= length);
    const Bytes& data = stored ? block.data : block.packed;
    ++blockCount_;
    const auto head = encodeBlockHeader(blockHeaderFor(blockCount_, stored, data));
    if (uint64_t{streamLength_} + head.size() + data.size() > 0xFFFFFFFFu) {
        tooManyBlocks_ = true;  // streamLength would wrap as well
    }
    ok_ = ok_ && !tooManyBlocks_ && std::fwrite(head.data(), 1, head.size(), out_) == head.size() &&
          std::fwrite(data.data(), 1, data.size(), out_) == data.size();
    streamLength_ += static_cast<uint32_t>(head.size() + data.size());
    const size_t room = blockRoomNeed(static_cast<uint32_t>(data.size()),
                                      static_cast<uint32_t>(carry_.size()),
                                      static_cast<uint32_t>(length));
    maxBlockLength_ = static_cast<uint16_t>(std::min<size_t>(0xFFFF, std::max<size_t>(maxBlockLength_, room)));
    carry_.insert(carry_.end(), block.data.begin(), block.data.end());
    consumeRecords(carry_, header_.versionMajor);
    stopped_ = afterBlock_ && afterBlock_(recordsAdded_);
}

bool TraceWriter::finish() {
    if (!pending_.empty() && !stopped_) {
        cutBlock(pending_.size());
    }
    compressor_.flush();
    if (tooManyBlocks_ || stopped_) {
        return false;  // no trailer: what was written is not a trace
    }
    const Bytes t = buildTrailer(
        {maxBlockLength_, static_cast<uint16_t>(blockCount_), streamLength_, false});
    ok_ = ok_ && std::fwrite(t.data(), 1, t.size(), out_) == t.size();
    return ok_;
}

bool writeFile(const std::string& path, std::span<const uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void appendFcs(Bytes& frame) {
    const uint16_t fcs =
        Fcs16().reset().update(frame.data(), static_cast<uint32_t>(frame.size())).result();
    frame.push_back(static_cast<uint8_t>(fcs));
    frame.push_back(static_cast<uint8_t>(fcs >> 8));
}

Bytes stuffAsync(std::span<const uint8_t> frame) {
    Bytes out{0x7E};
    for (uint8_t b : frame) {
        if (b == 0x7E || b == 0x7D || b < 0x20) {
            out.push_back(0x7D);
            out.push_back(static_cast<uint8_t>(b ^ 0x20));
        } else {
            out.push_back(b);
        }
    }
    out.push_back(0x7E);
    return out;
}

}  // namespace ornpcap::tracebuild
