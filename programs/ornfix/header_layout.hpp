#pragma once
// The header as the rest of the file shows it. A header that fails its FCS
// at every size may also have lost what says its size: a flipped bit in the
// version digit or the file type. The blocks and the trailer still show the
// layout of one version: block 1 intact right after a header of its size
// and followed by block 2 (or the end of the stream), an intact trailer's
// streamLength fitting that size, and for the 180-byte header, records of
// the form of version 5 or 6 in block 1. Where they do, and the header's
// type and version text differ from that version's in one byte at most, the
// text is put right: the header is rebuilt, exactly as it was when its own
// FCS then checks out, else with its FCS rewritten. A header that reads as
// another version than the layout shows is rebuilt as the layout's.

#include <span>

#include "ornfix/header_check.hpp"
#include "ornfix/input_bytes.hpp"

namespace ornpcap::ornfix {

// header: what examineHeader made of head, the first 203 bytes of the file
// (zeros where it is shorter); rebuilt here where the layout says so, and
// marked cut short where the file ends inside it.
void settleHeader(InputWindow& in, std::span<const uint8_t, kHeaderSizeV8> head,
                  HeaderFinding& header);

}  // namespace ornpcap::ornfix
