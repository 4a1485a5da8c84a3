#!/bin/sh
# Regenerates the committed seed corpus of the fuzz targets:
#
#   fuzz/make_seeds.sh <mktrace binary>
#
# Good traces come from the mktrace scenarios below (versions 5 to 8, stored,
# compressed and mixed blocks, records spanning blocks, records on the port of
# every frame format the fuzz jobs convert: 30 ETHERNET, 20 PPP-Sync,
# 21 PPP-Async, 40 Raw-IP, 50 Internal-UDP, 3 I4B; for orn2pcapng also long
# frames, realistic traffic to recognise, port 0). Damaged variants are made
# from them by patching bytes, with the checksums put right where the damage
# is meant to lie elsewhere.
set -eu

if [ $# -ne 1 ] || [ ! -x "$1" ]; then
    echo "usage: $0 <mktrace binary>" >&2
    exit 2
fi
mktrace=$1
here=$(cd "$(dirname "$0")" && pwd)
probe=$here/corpus/trace_probe_fuzz
conv=$here/corpus/conversion_fuzz
fix=$here/corpus/ornfix_fuzz
orn=$here/corpus/orn2pcapng_fuzz
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
rm -rf "$probe" "$conv" "$fix" "$orn"
mkdir -p "$probe" "$conv" "$fix" "$orn"

# scenario <output file>, scenario on standard input
scenario() {
    "$mktrace" - "$1" >/dev/null
}

# damage <from> <to> <edit>...: copies a trace and applies the edits, in order:
#   set:OFFSET:HEX     write bytes (OFFSET < 0 counts from the end)
#   flip:OFFSET        invert one byte
#   block:N:FIELD:HEX  write a field of block N (tag, length, fcs, data)
#   cut:LENGTH         keep the first LENGTH bytes
#   insert:OFFSET:HEX  insert bytes; erase:OFFSET:LENGTH  remove bytes
#   drop:N             remove block N, header and data
#   fcs:header | fcs:trailer | fcs:block:N   put that checksum right
# An OFFSET of @N is where block N begins.
damage() {
    python3 - "$@" <<'EOF'
import sys

def fcs(data):
    v = 0xFFFF
    for b in data:
        v ^= b
        for _ in range(8):
            v = (v >> 1) ^ 0x8408 if v & 1 else v >> 1
    return v ^ 0xFFFF

src, dst, edits = sys.argv[1], sys.argv[2], sys.argv[3:]
t = bytearray(open(src, "rb").read())
header = {ord("8"): 203, ord("7"): 191}.get(t[14], 180)

def blocks():
    pos, n = header, 1
    while pos + 6 <= len(t) - 16:
        yield n, pos
        pos += 6 + int.from_bytes(t[pos + 2:pos + 4], "little")
        n += 1

def block(n):
    return dict(blocks())[n]

def offset(text):
    return block(int(text[1:])) if text.startswith("@") else int(text) % len(t)

for edit in edits:
    kind, *args = edit.split(":")
    if kind == "insert":
        at = offset(args[0])
        t[at:at] = bytes.fromhex(args[1])
    elif kind == "erase":
        at = offset(args[0])
        del t[at:at + int(args[1])]
    elif kind == "drop":
        at = block(int(args[0]))
        del t[at:at + 6 + int.from_bytes(t[at + 2:at + 4], "little")]
    elif kind == "set":
        at = int(args[0]) % len(t)
        data = bytes.fromhex(args[1])
        t[at:at + len(data)] = data
    elif kind == "flip":
        t[int(args[0]) % len(t)] ^= 0xFF
    elif kind == "block":
        at = block(int(args[0])) + {"tag": 0, "length": 2, "fcs": 4, "data": 6}[args[1]]
        data = bytes.fromhex(args[2])
        t[at:at + len(data)] = data
    elif kind == "cut":
        del t[int(args[0]):]
    elif args == ["header"]:
        t[header - 2:header] = fcs(t[:header - 2]).to_bytes(2, "little")
    elif args == ["trailer"]:
        t[-2:] = fcs(t[-16:-2]).to_bytes(2, "little")
    elif args[0] == "block":
        at = block(int(args[1]))
        length = int.from_bytes(t[at + 2:at + 4], "little")
        t[at + 4:at + 6] = fcs(t[at + 6:at + 6 + length]).to_bytes(2, "little")
open(dst, "wb").write(t)
EOF
}

# --- Small traces of every version, for the trace checks ---------------------

for version in 5 6 7 8; do
    scenario "$probe/v$version.orn" <<EOF
version $version
utc -05:00:00
blocks 64 alternate
frame 1000 30 1 out : 001b210a0b0c001b210102034500001c00004000401100000a0000010a000002
frame 1500 20 0 in : ff0300214500001400004000400600000a0000020a000001
EOF
done
scenario "$probe/v6-no-blocks.orn" <<EOF
version 6
EOF
scenario "$probe/v7-no-blocks.orn" <<EOF
version 7
EOF

damage "$probe/v8.orn" "$probe/v8-header-fcs.orn" flip:30
damage "$probe/v8.orn" "$probe/v8-subversion-2.orn" set:20:3032 fcs:header
damage "$probe/v8.orn" "$probe/v9.orn" set:10:3030303039 fcs:header
damage "$probe/v7.orn" "$probe/v7-trailer-fcs.orn" flip:-1
damage "$probe/v6.orn" "$probe/v6-minor-1.orn" set:16:303031 fcs:header
damage "$probe/v5.orn" "$probe/v5-short.orn" cut:195
# streamLength one byte more than the file holds
size=$(wc -c <"$probe/v6.orn")
damage "$probe/v6.orn" "$probe/v6-stream-long.orn" \
    "set:-8:$(printf '%02x' $((size - 196 + 1)))000000" fcs:trailer

# --- Traces with records of every frame format, for the conversions ----------

# ETHERNET on port 30: every protocol code (1, 2, 5, 6, 7, refused 3), a frame
# shorter than the addresses, a record without payload, a bad status, an odd
# event type; small stored blocks, so that records span blocks.
scenario "$conv/ethernet-v8-stored.orn" <<EOF
version 8
start 2009-12-09 12:00:00
utc +01:00:00
snap 1600
blocks 48 stored
frame 1000 30 1 out : 001b210a0b0c001b21010203 4500001c00004000401100000a0000010a000002 13881389000800000000
frame 1010 30 2 in : ffffffffffff001b21010203 0001080006040001001b210102030a000001000000000000
frame 1020 30 5 out : ffffffffffff001b21010203 1109000000040101000000
frame 1030 30 6 in : 001b210a0b0c001b21010203 1100000100060021450000
frame 1040 30 7 out : 001b210a0b0c001b21010203 08004500001c0000400040110000
frame 1050 30 3 out : 001b210a0b0c001b21010203 45000014
frame 1060 30 1 in : 001b210a0b
frame 1070 30 1 in :
frame 1080 30 1 in status=1 : 001b210a0b0c001b210102034500
frame 1090 30 1 type22 : 001b210a0b0c001b210102034500
frame 1100 31 1 out : 001b210a0b0c001b210102034500
EOF

# PPP on ports 20 (sync) and 21 (async) over several LSNs: good, damaged, cut
# and too short async frames, escapes around flags; compressed blocks.
scenario "$conv/ppp-v7-compressed.orn" <<EOF
version 7
snap 128
blocks 160 compressed
frame 2000 20 0 out : ff0300214500001400004000400600000a0000020a000001
frame 2010 20 1 in : ff03c0210101000a0506112233440000
frame 2020 20 0x1a out : ff03802101010010030600000000
frame 2030 20 1 out : ff03
frame 2040 21 0 out async : ff03c021010100080506aabbccdd
frame 2050 21 1 in async badfcs : ff03c021020100080506aabbccdd
frame 2060 21 0x1a out async cut=9 : ff03002145000014000040004006
frame 2070 21 1 in : 7e7e7e7e
frame 2080 21 1 in : 7eff7d237e7d
frame 2090 21 0 out : 7eff037d7e41c0217e
frame 2100 21 2 in async : ff03c021
EOF

# Raw-IP on port 40, Internal-UDP on port 50, I4B on port 3; mixed blocks.
scenario "$conv/mixed-v6-alternate.orn" <<EOF
version 6
snap 64
blocks 80 alternate
frame 3000 40 0 out : 00004500001c00004000401100000a0000010a000002138813890008
frame 3010 40 0 in : 4500001400004000400600000a0000020a000001
frame 3020 40 0 in orig=2 : 000000004500
frame 3030 40 0 out : 000102030405
frame 3040 50 0 in : 000102030405060708090a0b0c0d0e0f1011 001b210a0b0c 0000 4500001400004000400600000a0000020a000001
frame 3050 50 0 out : 000102030405060708090a0b0c0d0e0f1011 001b210a0b0c 0000 45000014
frame 3060 50 0 in : 000102030405060708090a0b0c0d0e0f1011 001b210a0b0c 0000
frame 3070 50 0 in : 000102030405060708090a0b0c0d0e0f1011 001b210a0b0c 00
frame 3080 3 0 in : 0201037f0801018002
frame 3090 3 1 out orig=300 : 0201037f080101800200000000000000000000000000000000000000000000000000
frame 3999 3 0 in : 02017f
EOF

# Version 5: one-byte LSNs (0xff), every port once; smallest blocks.
scenario "$conv/mixed-v5-smallest.orn" <<EOF
version 5
snap 256
blocks 100 smallest
frame 4000 30 0xff out : 001b210a0b0c001b210102034500001c000040004011
frame 4010 30 1 in : 001b210a0b0c001b210102034500001c000040004011
frame 4020 20 0xff in : ff0300214500001400004000400600000a0000020a000001
frame 4030 21 0xff out async : ff03c021010100080506aabbccdd
frame 4040 40 0 in : 4500001400004000400600000a0000020a000001
frame 4050 50 0 in : 000102030405060708090a0b0c0d0e0f1011 001b210a0b0c 0000 45000014
frame 4060 3 0 out : 0201037f0801018002
EOF

# Many records over three LSNs on the ETHERNET and PPP-Sync ports.
scenario "$conv/bulk-v8.orn" <<EOF
version 8
utc -02:30:00
blocks 700 compressed
bulk count=30 port=30 lsn=1 lsns=3 size=60 step=7 time=100
bulk count=20 port=20 lsn=0 lsns=3 size=46 step=3 time=500
EOF

# More LSNs than a converter keeps files open in ALL mode (256), revisited, on
# the Internal-UDP (pcap) and PPP-Async (.vn) ports: outputs are closed to make
# room and opened again.
{
    echo "version 8"
    echo "blocks 4000 compressed"
    i=0
    while [ $i -lt 300 ]; do
        lsn=$((i % 258 + 1))
        echo "frame $i 50 $lsn in : $(printf '%052d' 0)"
        echo "frame $i 21 $lsn out : 7eff03c0210000007e"
        i=$((i + 1))
    done
} | scenario "$conv/many-lsns-v8.orn"

damage "$conv/ethernet-v8-stored.orn" "$conv/ethernet-v8-block-fcs.orn" block:9:data:ff
damage "$conv/ppp-v7-compressed.orn" "$conv/ppp-v7-block-number.orn" block:2:tag:0300
damage "$conv/ppp-v7-compressed.orn" "$conv/ppp-v7-bad-nrv2b.orn" block:2:data:ffffffff fcs:block:2
damage "$conv/mixed-v6-alternate.orn" "$conv/mixed-v6-max-block-short.orn" set:-16:1000 fcs:trailer
damage "$conv/mixed-v5-smallest.orn" "$conv/mixed-v5-no-blocks.orn" set:-14:0000 fcs:trailer

# --- Traces for orn2pcapng: every format named and recognised ---------------

# The conversion seeds hold a port of every format on the ports the named job asks for.
for seed in ethernet-v8-stored ppp-v7-compressed mixed-v6-alternate mixed-v5-smallest \
    ppp-v7-block-number; do
    cp "$conv/$seed.orn" "$orn/$seed.orn"
done

# Frames longer than the trace's snapLength of 64 on every port, and on port 0.
long=$(printf '45%0398d' 0)
scenario "$orn/long-frames-snap-64.orn" <<EOF
version 8
snap 64
blocks 2048 compressed
frame 1000 30 1 out : 001b210a0b0c001b21010203 $long
frame 1010 20 1 in : ff030021 $long
frame 1020 21 0 out async : ff030021 $long
frame 1030 40 0 in : 0000 $long
frame 1040 3 0 out : 000101000801010500 $(printf '%0390d' 0)
frame 1050 50 0 in : 000102030405060708090a0b0c0d0e0f1011 001b210a0b0c 0000 $long
frame 1060 0 0 in : ff030021 $long
EOF

# Realistic traffic of every format, to be recognised, on many ports (port 0
# among them), with no snapLength.
scenario "$orn/traffic-no-snap.orn" <<EOF
version 8
snap 0
blocks 4096 compressed
traffic format=ethernet count=40 port=30 seed=3
traffic format=ppp-sync count=40 port=20 lsns=2 seed=4
traffic format=ppp-async count=40 port=21 seed=5
traffic format=raw-ip count=30 port=40 seed=6
traffic format=i4b count=40 port=3 seed=7
traffic format=internal-udp count=30 port=50 seed=8
traffic format=ppp-sync count=30 port=0 seed=9
EOF

# Two ports whose records wait, undecided, until the room to hold them runs out.
scenario "$orn/undecided-v7.orn" <<EOF
version 7
blocks 1024 alternate
traffic format=raw-ip count=60 port=7 seed=10 step=2
traffic format=ppp-async count=60 port=8 seed=11 time=1 step=2
EOF

# --- Damaged traces for ornfix: each kind of repair once ---------------------

# Records of 60 bytes in blocks of 96: most records span blocks.
for version in 5 8; do
    scenario "$scratch/fix-v$version.orn" <<EOF
version $version
blocks 96 alternate
bulk count=40 port=30 lsn=1 lsns=2 size=60 step=3
EOF
done
size=$(wc -c <"$scratch/fix-v8.orn")
damage "$scratch/fix-v8.orn" "$fix/v8-cut-in-a-block.orn" "cut:$((size * 3 / 5))"
damage "$scratch/fix-v8.orn" "$fix/v8-cut-in-the-trailer.orn" "cut:$((size - 5))"
damage "$scratch/fix-v8.orn" "$fix/v8-block-fcs.orn" block:6:data:ff
damage "$scratch/fix-v8.orn" "$fix/v8-block-number.orn" block:6:tag:0900
damage "$scratch/fix-v8.orn" "$fix/v8-block-length.orn" block:6:length:ff7f
# block 7 is compressed: its data cut to 48 bytes (the rest left as junk) no longer expands
damage "$scratch/fix-v8.orn" "$fix/v8-nrv2b-cut-short.orn" block:7:length:3000 fcs:block:7
damage "$scratch/fix-v8.orn" "$fix/v8-block-missing.orn" drop:5
damage "$scratch/fix-v8.orn" "$fix/v8-bytes-cut-out.orn" erase:@5:150
damage "$scratch/fix-v8.orn" "$fix/v8-junk-between.orn" insert:@9:5a5a0100ff0000a5a5a5
damage "$scratch/fix-v8.orn" "$fix/v8-header-fcs.orn" flip:100
damage "$scratch/fix-v8.orn" "$fix/v8-trailer-fcs.orn" flip:-1
damage "$scratch/fix-v8.orn" "$fix/v8-max-block-short.orn" set:-16:1000 fcs:trailer
damage "$scratch/fix-v8.orn" "$fix/v8-count-short.orn" set:-14:0300 fcs:trailer
size=$(wc -c <"$scratch/fix-v5.orn")
damage "$scratch/fix-v5.orn" "$fix/v5-damaged-and-cut.orn" block:3:data:00 "cut:$((size - 100))"
cp "$scratch/fix-v5.orn" "$fix/v5-good.orn"

# Good traces with records of every kind, which the target damages itself:
# rare event types and statuses, an empty record, frames over the snapLength,
# a time that steps back, several ports and LSNs.
for version in 6 7 8; do
    scenario "$fix/v$version-every-kind.orn" <<EOF
version $version
snap 200
blocks 150 alternate
traffic format=ethernet count=12 port=30 seed=4 time=1000 step=4
frame 1100 31 2 type30 status=7 : 0102030405060708
frame 1101 31 2 in :
bulk count=3 port=32 lsn=1 size=300 step=1 time=1090
frame 1120 3 0 in status=1 : 0201037f0801018002
traffic format=ppp-sync count=12 port=20 lsns=2 seed=5 time=1130 step=3
EOF
done

ls -l "$probe" "$conv" "$fix" "$orn"
