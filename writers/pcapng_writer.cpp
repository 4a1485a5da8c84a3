#include "writers/pcapng_writer.hpp"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

#include "base/byte_order.hpp"
#include "base/out_of_memory.hpp"
#include "trace/record_filter.hpp"
#include "writers/pcap_time.hpp"
#include "writers/pcapng_blocks.hpp"

namespace ornpcap {

namespace {

std::string printable(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        const auto byte = static_cast<unsigned char>(c);
        c = byte < 0x20 || byte >= 0x7F ? '?' : c;
    }
    return out;
}

// The header's 30-character description, without the spaces that fill it.
std::string descriptionOf(const TraceHeader& header) {
    const auto* first = &header.bytes[header_offset::description];
    std::string text(first, first + (header_offset::textEnd - header_offset::description));
    text.erase(text.find_last_not_of(std::string(" \0", 2)) + 1);
    return printable(text);
}

std::string startOf(const TraceHeader& header, uint16_t versionMajor) {
    char text[96];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", header.startYear(),
                  header.startMonth(), header.startDay(), header.startHour(), header.startMinute(),
                  header.startSecond());
    if (versionMajor < 8) {
        return std::string(text) + ", taken as UTC";
    }
    const auto utc = header.utcOffset();
    char offset[48];
    std::snprintf(offset, sizeof offset, " at UTC%c%02u:%02u:%02u",
                  static_cast<int8_t>(utc[0]) < 0 ? '-' : '+', utc[1], utc[2], utc[3]);
    return text + std::string(offset);
}

std::string sectionComment(const std::string& traceName, const OpenedTrace& trace) {
    return printable(traceName) + ": \"" + descriptionOf(trace.header) + "\", format version " +
           std::to_string(trace.versionMajor) + ".0, started " +
           startOf(trace.header, trace.versionMajor);
}

std::string hex4(uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

std::string interfaceName(const PcapngChannel& c) {
    const std::string port = "port" + std::to_string(c.port);
    return c.wholePort ? port : port + "-lsn" + hex4(c.lsn);
}

std::string interfaceDescription(const PcapngChannel& c) {
    const std::string port = "ORN port " + std::to_string(c.port) + ", ";
    const std::string format(frameFormatName(c.format));
    return c.wholePort ? port + format + " (every protocol code)"
                       : port + "LSN 0x" + hex4(c.lsn) + ", " + format;
}

std::string statisticsComment(const PcapngChannel& c) {
    return std::to_string(c.records) + " records: " + std::to_string(c.packets()) + " packets (" +
           std::to_string(c.in) + " in, " + std::to_string(c.out) + " out, " +
           std::to_string(c.crcErrors) + " CRC error, " + std::to_string(c.tooShort) +
           " too short), " + std::to_string(c.skipped) + " skipped by the filter, " +
           std::to_string(c.refused) + " refused by the framing";
}

}  // namespace

PcapngSink::PcapngSink(PcapngRequest request)
    : request_(std::move(request)), portFormats_(65536) {}

PcapngSink::~PcapngSink() = default;

void PcapngSink::exportPort(uint16_t port, FrameFormat format) {
    portFormats_[port].store(static_cast<uint8_t>(format), std::memory_order_release);
}

ResultCode PcapngSink::start(const OpenedTrace& trace) {
    return unlessOutOfMemory([&] {
        timeBase_ = computePcapTimeBase(trace.header, trace.versionMajor);
        const uint32_t snap = trace.header.snapLength();
        snapLength_ = snap == 0 ? 0 : snap + kPcapngMostAdded;
        block_.resize(kEpbDataOffset + kPcapngFrameRoom + kEpbTailRoom);
        const PcapngBlock section =
            sectionHeaderBlock({request_.application, sectionComment(request_.traceName, trace)});
        ResultCode rc = ResultCode::Ok;
        traceIdentity_ = trace.identity;
        if (request_.split != PcapSplit::None) {
            rc = ResultCode::Ok;  // each file is created with its first packet
        } else if (request_.outputName == "-") {
            rc = file_.adoptStream(STDOUT_FILENO, trace.identity);
            if (rc == ResultCode::Ok && !file_.append(section.data(), section.size())) {
                rc = ResultCode::CannotWriteTarget;
            }
        } else {
            rc = file_.create(request_.outputName, trace.identity, section);
        }
        started_ = rc == ResultCode::Ok;
        return rc;
    });
}

ResultCode PcapngSink::checkpoint(ResultCode rc) {
    if (rc != ResultCode::Ok || !checkpoints_.due()) {
        return rc;
    }
    bool flushed = request_.split != PcapSplit::None || file_.flush();
    for (SplitFile& split : splitFiles_) {
        flushed = split.file.flush() && flushed;
    }
    return flushed ? rc : ResultCode::CannotWriteTarget;
}

ResultCode PcapngSink::record(const EventRecord& record, const uint8_t* payload) {
    ++totals_.records;
    ResultCode rc = ResultCode::Ok;
    const uint8_t format = portFormats_[record.port].load(std::memory_order_relaxed);
    if (format == 0) {
        ++totals_.notExported;
    } else {
        rc = unlessOutOfMemory([&] {
            return take(channelOf(record, static_cast<FrameFormat>(format)), record, payload);
        });
    }
    return checkpoint(rc);
}

void PcapngSink::preparePacket(const RecordRef& r, uint32_t index, PreparedPackets& into) const {
    PreparedPacket& packet = into.packets.emplace_back();
    packet.record = index;
    packet.format = static_cast<FrameFormat>(formatOf(r.header.port));
    packet.offset = into.used();
    uint8_t* block =
        into.room(kEpbDataOffset + r.header.dataLength + kPcapngMostAdded + kEpbTailRoom);
    if (!framePcapngRecord(r.header, r.payload, packet.format, block + kEpbDataOffset,
                           packet.frame)) {
        return;  // refused: length 0
    }
    packet.timestamp = timestampOf(r.header);
    const uint32_t direction = isFrameSent(r.header) ? kPacketOutbound : kPacketInbound;
    packet.length = completePacketBlock(
        block, {0, packet.timestamp, packet.frame.capturedLength, packet.frame.originalLength,
                direction | packet.frame.errorFlags});
    into.take(packet.length);
}

ResultCode PcapngSink::recordPrepared(const RecordRef& r, const PreparedPacket& packet,
                                      PreparedPackets& prepared) {
    ++totals_.records;
    const ResultCode rc = unlessOutOfMemory([&] {
        return takePrepared(channelOf(r.header, packet.format), r.header, packet,
                            prepared.at(packet.offset));
    });
    return checkpoint(rc);
}

PcapngChannel& PcapngSink::channelOf(const EventRecord& record, FrameFormat format) {
    const bool wholePort = format == FrameFormat::Ethernet;
    const uint32_t key = (uint32_t{record.port} << 16) | (wholePort ? 0u : record.lsn);
    if (lastChannel_ != nullptr && key == lastKey_) {
        return *lastChannel_;
    }
    PcapngChannel*& channel = byKey_[key];
    if (channel == nullptr) {
        PcapngChannel& made = channels_.emplace_back();
        made.port = record.port;
        made.lsn = wholePort ? 0 : record.lsn;
        made.wholePort = wholePort;
        made.format = format;
        made.name = interfaceName(made);
        channel = &made;
    }
    lastKey_ = key;
    lastChannel_ = channel;
    return *channel;
}

ResultCode PcapngSink::take(PcapngChannel& channel, const EventRecord& record,
                            const uint8_t* payload) {
    ++channel.records;
    if (!carriesFrame(record)) {
        ++channel.skipped;
        return ResultCode::Ok;
    }
    if (channel.interfaceId < 0) {
        if (const ResultCode rc = describe(channel); rc != ResultCode::Ok) {
            return rc;
        }
    }
    PcapngFrame frame;
    if (!framePcapngRecord(record, payload, channel.format, block_.data() + kEpbDataOffset,
                           frame)) {
        ++channel.refused;
        return ResultCode::Ok;
    }
    const uint32_t direction = isFrameSent(record) ? kPacketOutbound : kPacketInbound;
    const uint64_t timestamp = timestampOf(record);
    const uint32_t length = completePacketBlock(
        block_.data(), {static_cast<uint32_t>(channel.interfaceId), timestamp,
                        frame.capturedLength, frame.originalLength, direction | frame.errorFlags});
    return written(channel, record, block_.data(), length, frame, timestamp);
}

// As take(), for a packet block made ahead: its interface id goes in here.
ResultCode PcapngSink::takePrepared(PcapngChannel& channel, const EventRecord& record,
                                    const PreparedPacket& packet, uint8_t* block) {
    ++channel.records;
    if (channel.interfaceId < 0) {
        if (const ResultCode rc = describe(channel); rc != ResultCode::Ok) {
            return rc;
        }
    }
    if (packet.length == 0) {
        ++channel.refused;
        return ResultCode::Ok;
    }
    storeLe32(block + kEpbInterfaceIdOffset, static_cast<uint32_t>(channel.interfaceId));
    return written(channel, record, block, packet.length, packet.frame, packet.timestamp);
}

ResultCode PcapngSink::written(PcapngChannel& channel, const EventRecord& record,
                               const uint8_t* block, uint32_t length, const PcapngFrame& frame,
                               uint64_t timestamp) {
    if (request_.split != PcapSplit::None) {
        if (const ResultCode rc = writeSplit(channel, block + kEpbDataOffset, frame, timestamp);
            rc != ResultCode::Ok) {
            return rc;
        }
    } else if (!file_.append(block, length)) {
        return ResultCode::CannotWriteTarget;
    }
    count(channel, record, frame, timestamp);
    return ResultCode::Ok;
}

// The packet as a classic pcap record, into the split's file of its link
// type or port, created with the pcap file header: the time stamp in
// microseconds, the snapLen the longest packet the link type can carry.
ResultCode PcapngSink::writeSplit(const PcapngChannel& channel, const uint8_t* data,
                                  const PcapngFrame& frame, uint64_t timestamp) {
    const PcapngLink link = pcapngLinkOf(channel.format);
    const uint32_t key = request_.split == PcapSplit::Port ? channel.port : 0x10000u + link.linkType;
    SplitFile*& split = splitByKey_[key];
    if (split == nullptr) {
        SplitFile& made = splitFiles_.emplace_back();
        made.name = request_.outputName + "_" +
                    (request_.split == PcapSplit::Port ? "p" + std::to_string(channel.port)
                                                       : std::string(link.name)) +
                    ".pcap";
        made.linkType = link.linkType;
        uint8_t header[24] = {};
        storeLe32(header, 0xA1B2C3D4);
        storeLe16(header + 4, 2);
        storeLe16(header + 6, 4);
        storeLe32(header + 16, pcapngLongestPacket(channel.format));
        storeLe32(header + 20, link.linkType);
        if (const ResultCode rc = made.file.create(made.name, traceIdentity_, header);
            rc != ResultCode::Ok) {
            splitFiles_.pop_back();
            splitByKey_.erase(key);
            return rc;
        }
        split = &made;
    }
    uint8_t record[16];
    storeLe32(record, static_cast<uint32_t>(timestamp / 1000));
    storeLe32(record + 4, static_cast<uint32_t>(timestamp % 1000) * 1000);
    storeLe32(record + 8, frame.capturedLength);
    storeLe32(record + 12, frame.originalLength);
    if (!split->file.append(record, sizeof record, data, frame.capturedLength)) {
        return ResultCode::CannotWriteTarget;
    }
    ++split->packets;
    return ResultCode::Ok;
}

ResultCode PcapngSink::describe(PcapngChannel& channel) {
    if (request_.split != PcapSplit::None) {
        channel.interfaceId = static_cast<int64_t>(interfaces_.size());
        interfaces_.push_back(&channel);
        return ResultCode::Ok;
    }
    const PcapngBlock block = interfaceDescriptionBlock({pcapngLinkOf(channel.format).linkType,
                                                         snapLengthOf(channel.format),
                                                         channel.name,
                                                         interfaceDescription(channel)});
    channel.descriptionOffset = file_.end();
    if (!file_.append(block.data(), block.size())) {
        return ResultCode::CannotWriteTarget;
    }
    channel.interfaceId = static_cast<int64_t>(interfaces_.size());
    interfaces_.push_back(&channel);
    return ResultCode::Ok;
}

void PcapngSink::count(PcapngChannel& channel, const EventRecord& record,
                       const PcapngFrame& frame, uint64_t timestamp) {
    if (channel.packets() == 0) {
        channel.first = timestamp;
    }
    channel.last = timestamp;
    ++(isFrameSent(record) ? channel.out : channel.in);
    channel.crcErrors += (frame.errorFlags & kPacketCrcError) != 0 ? 1 : 0;
    channel.tooShort += (frame.errorFlags & kPacketTooShort) != 0 ? 1 : 0;
    totals_.longest = std::max<uint64_t>(totals_.longest, frame.capturedLength);
}

// Milliseconds since 1970: the seconds exactly as the pcap output writes
// them (modulo 2^32), then the milliseconds of the record's time.
uint64_t PcapngSink::timestampOf(const EventRecord& record) const {
    const uint32_t seconds = record.timeMs / 1000 + static_cast<uint32_t>(timeBase_);
    return uint64_t{seconds} * 1000 + record.timeMs % 1000;
}

uint64_t PcapngSink::skippedWithoutInterface() const {
    uint64_t skipped = 0;
    for (const PcapngChannel& channel : channels_) {
        skipped += channel.interfaceId < 0 ? channel.skipped : 0;
    }
    return skipped;
}

bool PcapngSink::writeStatistics() {
    for (const PcapngChannel* c : interfaces_) {
        const PcapngBlock block = interfaceStatisticsBlock(
            {static_cast<uint32_t>(c->interfaceId), c->last, c->packets() != 0, c->first, c->last,
             c->records, c->records - c->skipped, c->packets(), statisticsComment(*c)});
        if (!file_.append(block.data(), block.size())) {
            return false;
        }
    }
    return true;
}

// An output that cannot be written back keeps the snapLen it starts with, so
// that one no packet can exceed is written there, alike for every interface
// of a link type (libpcap reads a file of one link type and one snapLen).
uint32_t PcapngSink::snapLengthOf(FrameFormat format) const {
    return snapLength_ == 0 || file_.seekable() ? snapLength_ : pcapngLongestPacket(format);
}

// Readers cut packets to the snapLen: where one is longer, every interface's
// snapLen is raised to it (they must stay equal), where the file allows.
bool PcapngSink::raiseSnapLength() {
    if (snapLength_ == 0 || totals_.longest <= snapLength_ || !file_.seekable()) {
        return true;
    }
    uint8_t value[4];
    storeLe32(value, static_cast<uint32_t>(totals_.longest));
    for (const PcapngChannel* c : interfaces_) {
        if (!file_.writeAt(c->descriptionOffset + kIdbSnapLengthOffset, value, sizeof value)) {
            return false;
        }
    }
    snapLength_ = static_cast<uint32_t>(totals_.longest);
    return true;
}

ResultCode PcapngSink::finish(ResultCode result) {
    if (!started_) {
        return result;
    }
    if (request_.split != PcapSplit::None) {
        bool closed = true;
        for (SplitFile& split : splitFiles_) {
            closed = split.file.close() && closed;
        }
        return result != ResultCode::Ok ? result
               : closed                 ? ResultCode::Ok
                                        : ResultCode::CannotWriteTarget;
    }
    const ResultCode completed = unlessOutOfMemory([&] {
        const bool written = writeStatistics() && file_.flush() && raiseSnapLength();
        return file_.close() && written ? ResultCode::Ok : ResultCode::CannotWriteTarget;
    });
    return result != ResultCode::Ok ? result : completed;
}

}  // namespace ornpcap
