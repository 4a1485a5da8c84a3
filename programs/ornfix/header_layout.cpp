#include "ornfix/header_layout.hpp"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "base/byte_order.hpp"
#include "ornfix/block_walk.hpp"
#include "trace/block_stream.hpp"
#include "trace/event_record.hpp"
#include "trace/fcs16.hpp"

namespace ornpcap::ornfix {

namespace {

// The bytes of the header's type and version text: "TRC   " at 3, the major
// version at 10, the minor at 16.
constexpr size_t kTextFrom = header_offset::fileType;
constexpr size_t kTextTo = header_offset::versionMinor + 3;

std::optional<TraceTrailer> intactTrailer(InputWindow& in) {
    if (in.size() < kTrailerSize) {
        return std::nullopt;
    }
    const uint8_t* bytes = in.view(in.size() - kTrailerSize, kTrailerSize);
    if (bytes == nullptr || !hasGoodFcs(bytes, kTrailerSize)) {
        return std::nullopt;
    }
    TraceTrailer trailer;
    std::copy(bytes, bytes + kTrailerSize, trailer.bytes.begin());
    return trailer;
}

// Whether the file has the layout of a header of this size: block 1 intact
// right after it (expanded into `data`), then block 2 or the end of the
// stream; an intact trailer fitting the size.
bool fitsLayout(InputWindow& in, uint32_t size, std::vector<uint8_t>& data, uint32_t& fill) {
    const std::optional<TraceTrailer> trailer = intactTrailer(in);
    if (trailer && checkTrailer(*trailer, in.size(), size) != TrailerCheck::Good) {
        return false;
    }
    const uint8_t* raw = in.view(size, kBlockHeaderSize);
    if (raw == nullptr) {
        return false;
    }
    const BlockHeader block = decodeBlockHeader(raw);
    const uint64_t next = uint64_t{size} + kBlockHeaderSize + block.blockLength;
    const uint8_t* stored = in.view(size + kBlockHeaderSize, block.blockLength);
    fill = 0;
    if (block.blockNumber() != 1 || block.blockLength == 0 || stored == nullptr ||
        checkBlockData(block, stored) != ResultCode::Ok ||
        expandBlock(block, stored, data, fill, kMostExpanded) != ResultCode::Ok) {
        return false;
    }
    const bool endsStream = trailer ? next == size + trailer->streamLength()
                                    : next == in.size() || next + kTrailerSize == in.size();
    const uint8_t* following = in.view(next, kBlockHeaderSize);
    return endsStream || (following != nullptr && (loadLe16(following) & 0x7FFF) == 2 &&
                          loadLe16(following + 2) != 0);
}

// How many records of this form follow each other from the start of the
// data, each in time after the one before.
size_t recordsInOrder(const std::vector<uint8_t>& data, uint32_t fill, const RecordForm& form) {
    size_t count = 0;
    uint32_t previous = 0;
    for (uint64_t p = 0; p + form.headerSize <= fill; ++count) {
        const EventRecord r = decodeEventRecord(data.data() + p, form);
        if (count > 0 && (r.timeMs < previous || r.timeMs - previous > (1u << 22))) {
            break;
        }
        previous = r.timeMs;
        p += form.headerSize + r.dataLength;
    }
    return count;
}

// The version whose layout the file has; 0 when none does, or it cannot be
// told (5 or 6, with their records alike). A 180-byte header's version is
// told by its records, else by the digit the header still carries.
uint16_t versionByLayout(InputWindow& in, long digit) {
    std::vector<uint8_t> data(kMostExpanded);
    uint32_t fill = 0;
    if (fitsLayout(in, kHeaderSizeV8, data, fill)) {
        return 8;
    }
    if (fitsLayout(in, kHeaderSizeV7, data, fill)) {
        return 7;
    }
    if (!fitsLayout(in, kHeaderSizeV5, data, fill)) {
        return 0;
    }
    const size_t narrow = recordsInOrder(data, fill, recordFormOf(5));
    const size_t wide = recordsInOrder(data, fill, recordFormOf(6));
    if (narrow != wide) {
        return narrow > wide ? 5 : 6;
    }
    return digit == 5 || digit == 6 ? static_cast<uint16_t>(digit) : 0;
}

// The header's text as the version writes it: the type "TRC   ", the
// separator as it stands, the version "0000N.000". Returns how many of its
// bytes were not so.
int putText(std::array<uint8_t, kHeaderSizeV8>& bytes, uint16_t version) {
    std::string text = "TRC   ";
    text += static_cast<char>(bytes[header_offset::fileType + 6]);
    text += "0000";
    text += static_cast<char>('0' + version);
    text += ".000";
    int differing = 0;
    for (size_t i = kTextFrom; i < kTextTo; ++i) {
        const auto wanted = static_cast<uint8_t>(text[i - kTextFrom]);
        differing += bytes[i] != wanted;
        bytes[i] = wanted;
    }
    return differing;
}

void rebuild(HeaderFinding& header, std::span<const uint8_t, kHeaderSizeV8> head,
             uint16_t version) {
    HeaderFinding rebuilt;
    std::copy(head.begin(), head.end(), rebuilt.bytes.begin());
    if (readHeaderText(head).subVersion != 1 || putText(rebuilt.bytes, version) > 1) {
        return;
    }
    rebuilt.state = HeaderState::Rebuilt;
    rebuilt.size = headerSizeOfVersion(version);
    rebuilt.versionMajor = version;
    std::copy(head.begin() + kTextFrom, head.begin() + kTextTo, rebuilt.damagedText.begin());
    const uint32_t fcsAt = rebuilt.size - 2;
    rebuilt.storedFcs = loadLe16(&rebuilt.bytes[fcsAt]);
    rebuilt.fcsRestored = hasGoodFcs(rebuilt.bytes.data(), rebuilt.size);
    rebuilt.rewrittenFcs = Fcs16().reset().update(rebuilt.bytes.data(), fcsAt).result();
    storeLe16(&rebuilt.bytes[fcsAt], rebuilt.rewrittenFcs);
    header = rebuilt;
}

}  // namespace

void settleHeader(InputWindow& in, std::span<const uint8_t, kHeaderSizeV8> head,
                  HeaderFinding& header) {
    if (header.state != HeaderState::Intact && !anyFormIntact(head)) {
        const uint16_t version = versionByLayout(in, readHeaderText(head).versionMajor);
        if (version != 0 && !(header.usable() && header.versionMajor == version)) {
            rebuild(header, head, version);
        }
    }
    if (header.usable() && header.size > in.size()) {
        header.state = HeaderState::CutShort;
    }
}

}  // namespace ornpcap::ornfix
