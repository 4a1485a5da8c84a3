# Quick start on a fresh Debian 12 machine:
#   make run    set-up, build, convert the bundled sample trace
#   make test   set-up, build, every test (also under ASan/UBSan, and under
#               TSan with every trace expanded on worker threads)
# Also: make install, make fuzz, make bench, make bench-scaling, make test-long, make clean.

BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
DEB_BUILD  ?= build-deb
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX     ?= /usr/local
# Where make install puts orndump: the per-user extcap folder of the installed
# Wireshark (scripts/extcap-dir.sh; ~/.config/wireshark/extcap for 4.0).
EXTCAP_DIR ?= $(shell scripts/extcap-dir.sh)
FUZZ_SECONDS ?= 60
CMAKE_FLAGS ?=

SAMPLE = examples/Trace.orn
OUT    = out

.PHONY: all deps deps-all build run test test-plain test-sanitize test-thread test-package test-long deb install fuzz bench bench-scaling clean

all: build

# What building and running need; deps-all adds what testing, fuzzing,
# packaging and benchmarking need.
deps:
	@scripts/install-deps.sh

deps-all:
	@scripts/install-deps.sh --all

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORNPCAP_WERROR=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

# The main job on the bundled sample: one conversion per output format.
run: build
	@mkdir -p $(OUT)
	$(BUILD)/OrnPcap -i$(SAMPLE) -o$(OUT)/ethernet.pcap -f1 -p30
	$(BUILD)/OrnPcap -i$(SAMPLE) -o$(OUT)/ppp-sync.pcap -f2 -p20 -lANY
	$(BUILD)/OrnPcap -i$(SAMPLE) -o$(OUT)/isdn.pcap -f5 -p3
	@echo
	@echo "Output files:"; ls -l $(OUT)

# Each stage in turn, with how long it took.
test: deps-all
	@scripts/timed-stages.sh $(MAKE) --no-print-directory -- test-plain test-sanitize test-thread test-package

test-plain: deps-all build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) -LE long

# Runs that write gigabytes (a .vn output past 4 GiB): not part of make test.
test-long: deps-all build
	ctest --test-dir $(BUILD) --output-on-failure -L long

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer;
# any report fails the run.
test-sanitize: deps-all
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DORNPCAP_WERROR=ON -DORNPCAP_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) -LE long

# The whole suite again under ThreadSanitizer, built to check and expand the
# blocks of every trace on worker threads (even of one block, even on one
# CPU), so that damaged traces, interrupts and write failures go through them.
test-thread: deps-all
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORNPCAP_WERROR=ON \
	  -DORNPCAP_TSAN=ON -DORNPCAP_FORCE_PARALLEL=ON $(CMAKE_FLAGS)
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) -LE long

# The Debian package, built and checked by lintian, installed, run and removed.
test-package: deps-all
	JOBS=$(JOBS) scripts/test-package.sh $(DEB_BUILD)

# The binary Debian package (and its -dbgsym) into $(DEB_BUILD)/.
deb: deps-all
	JOBS=$(JOBS) scripts/build-deb.sh $(DEB_BUILD)

# The prefix is compiled into orndump (where it finds orn2pcapng), so the
# build is configured with it.
install: build
	cmake -S . -B $(BUILD) -DCMAKE_INSTALL_PREFIX=$(PREFIX) -DORNPCAP_EXTCAP_DIR=$(EXTCAP_DIR)
	cmake --build $(BUILD) -j $(JOBS)
	cmake --install $(BUILD) --prefix $(PREFIX)

fuzz: deps-all
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORNPCAP_FUZZ=ON -DORNPCAP_TESTS=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

bench: deps-all build
	bench/run.sh $(BUILD)

# How every program scales over two CPUs, with a busy loop and without (docs/performance.md).
bench-scaling: deps-all build
	python3 bench/scaling.py $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) $(DEB_BUILD) $(OUT)
