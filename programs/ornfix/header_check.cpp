#include "ornfix/header_check.hpp"

#include <algorithm>

#include "base/byte_order.hpp"
#include "trace/fcs16.hpp"

namespace ornpcap::ornfix {

namespace {

HeaderFinding unrecognised(TraceCheck check, int64_t actual = 0, int64_t limit = 0) {
    HeaderFinding finding;
    fault(&finding.fault, ResultCode::CannotRepair, check, actual, limit);
    return finding;
}

// No form passes the checks of the probe: whether the fields still read as
// those of a trace, and which checksum its size then calls for.
HeaderFinding recogniseFields(std::span<const uint8_t, kHeaderSizeV8> head) {
    if (!hasTraceType(head)) {
        return unrecognised(TraceCheck::NotATrace);
    }
    const HeaderText text = readHeaderText(head);
    if (text.versionMajor < 0 || text.versionMinor < 0 ||
        !acceptVersion(static_cast<uint16_t>(text.versionMajor),
                       static_cast<uint16_t>(text.versionMinor))) {
        return unrecognised(TraceCheck::VersionRefused, text.versionMajor, text.versionMinor);
    }
    if (text.subVersion != 1) {
        return unrecognised(TraceCheck::SubVersionRefused, text.subVersion);
    }
    HeaderFinding finding;
    finding.size = headerSizeOfVersion(text.versionMajor);
    finding.versionMajor = static_cast<uint16_t>(text.versionMajor);
    finding.versionMinor = static_cast<uint16_t>(text.versionMinor);
    std::copy(head.begin(), head.end(), finding.bytes.begin());
    const uint32_t fcsAt = finding.size - 2;
    finding.storedFcs = loadLe16(&finding.bytes[fcsAt]);
    finding.rewrittenFcs = Fcs16().reset().update(finding.bytes.data(), fcsAt).result();
    storeLe16(&finding.bytes[fcsAt], finding.rewrittenFcs);
    finding.state = HeaderState::FcsRewritten;
    return finding;
}

}  // namespace

uint32_t headerSizeOfVersion(long versionMajor) {
    return versionMajor == 8 ? kHeaderSizeV8 : versionMajor == 7 ? kHeaderSizeV7 : kHeaderSizeV5;
}

bool anyFormIntact(std::span<const uint8_t, kHeaderSizeV8> head) {
    return hasGoodFcs(head.data(), kHeaderSizeV8) || hasGoodFcs(head.data(), kHeaderSizeV7) ||
           hasGoodFcs(head.data(), kHeaderSizeV5);
}

HeaderFinding examineHeader(std::span<const uint8_t, kHeaderSizeV8> head) {
    const HeaderMatch match = recogniseHeader(head, HeaderVersions{});
    if (match.size == 0) {
        return recogniseFields(head);
    }
    if (match.text.subVersion != 1) {
        return unrecognised(TraceCheck::SubVersionRefused, match.text.subVersion);
    }
    HeaderFinding finding;
    finding.state = HeaderState::Intact;
    finding.size = match.size;
    finding.versionMajor = static_cast<uint16_t>(match.text.versionMajor);
    finding.versionMinor = static_cast<uint16_t>(match.text.versionMinor);
    std::copy(head.begin(), head.end(), finding.bytes.begin());
    return finding;
}

}  // namespace ornpcap::ornfix
