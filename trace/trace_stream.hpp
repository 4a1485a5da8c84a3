#pragma once
// A trace read in one pass from a descriptor, as it comes through a pipe
// (`ssh device cat Trace.orn | orn2pcapng - -`): the header first, the
// blocks in order, the trailer recognised at the end, the last 16 bytes.
//
// The trailer, which sizes the buffers and ends the block stream when a
// trace is read as a file, is known only once everything before it has been
// read. So the blocks are read while each comes with the next number, reads
// whole before the last 16 bytes, passes its FCS and expands (with the room
// of the largest block there can be), and their records go to the sink at
// once. At the end the trailer is checked, and the blocks against it: where
// the blocks read as a file would have stopped earlier (a block longer than
// maxBlockLength, a record longer than twice it, a damaged block within the
// stream), the report says so, after what was read. Memory stays the same
// whatever the length: one block, its expansion, and a read buffer.
//
// Reads wait for the writer, and end on SIGINT, SIGTERM or SIGHUP: the run
// ends as Interrupted, the sink finished.

#include "trace/record_source.hpp"

namespace ornpcap {

// Whether the descriptor is one a trace is read from in one pass: anything
// but a regular file (a pipe, a socket, a terminal, a device).
bool readsInOnePass(int fd);

// The trace from the descriptor's position, in one pass, through the sink:
// the header as the probe recognises it (its versions in the report), the
// sink's start, the blocks, the checks of the trailer. Results: before the
// sink starts, the probe's codes for the header (4, 7), Interrupted, or
// CannotReadSource for a failed read; after it, the sink's finish with the
// first fault found (the report says which and where), Ok when none.
// The descriptor stays open.
ResultCode readTraceStream(int fd, const TraceRequest& request, RecordSink& sink,
                           TraceReport* report = nullptr);

}  // namespace ornpcap
