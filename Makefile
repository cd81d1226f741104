# Tavrel: build, test and run. See README.md.
JOBS ?= $(shell nproc)
BUILD ?= build
CMAKE_FLAGS ?=

WINDOWS_BUILD ?= $(BUILD)-windows
# The builds say what they build, not which folder make is in.
MAKEFLAGS += --no-print-directory

.PHONY: all deps test-deps build windows windows-build package test test-plain test-asan test-tsan test-fuzz fuzz run bench bench-vm screenshots clean format

all: build

# The Debian packages: deps for make build, run and package; test-deps for what only the tests,
# the screenshots, the Windows build, the VM test and the benchmarks use. Without root, each
# prints the apt-get line to run as root.
deps:
	@scripts/install-deps.sh

test-deps:
	@scripts/install-deps.sh --test

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

# The Debian package tavrel_VERSION_ARCH.deb, left in this folder.
package: build
	@mkdir -p $(BUILD)/package
	@cpack --config $(BUILD)/CPackConfig.cmake -B $(BUILD)/package >$(BUILD)/package/cpack.log 2>&1 || \
	  { cat $(BUILD)/package/cpack.log; exit 1; }
	@cp $(BUILD)/package/tavrel_*.deb .
	@ls tavrel_*.deb

# tavrel-VERSION-windows-x86_64.zip, left in this folder: both programs for 64-bit Windows,
# cross-built with mingw-w64 (a test dependency, as Wine is).
windows: windows-build
	@scripts/windows-zip.sh $(WINDOWS_BUILD)

windows-build: deps test-deps
	@cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(WINDOWS_BUILD) -j$(JOBS)

# Every test in the ordinary build (the Windows tool, built and zipped first, under Wine
# against the Linux one too), then again under AddressSanitizer and UndefinedBehaviorSanitizer,
# then the thread tests under ThreadSanitizer.
test: deps test-deps test-plain test-asan test-tsan test-fuzz

test-plain: build test-deps windows
	@ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS); s=$$?; scripts/show-skips.sh $(BUILD); exit $$s

test-asan: deps test-deps
	@cmake -S . -B $(BUILD)-asan -DCMAKE_BUILD_TYPE=Debug -DTAVREL_SANITIZE=address,undefined -DTAVREL_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(BUILD)-asan -j$(JOBS)
	@ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  ctest --test-dir $(BUILD)-asan --output-on-failure -j$(JOBS) -LE no-sanitize; \
	  s=$$?; scripts/show-skips.sh $(BUILD)-asan; exit $$s

test-tsan: deps test-deps
	@cmake -S . -B $(BUILD)-tsan -DCMAKE_BUILD_TYPE=Debug -DTAVREL_SANITIZE=thread -DTAVREL_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(BUILD)-tsan -j$(JOBS)
	@TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 setarch -R \
	  ctest --test-dir $(BUILD)-tsan --output-on-failure -j$(JOBS) -L 'thread|cli'; \
	  s=$$?; scripts/show-skips.sh $(BUILD)-tsan; exit $$s

# Makes a real FAT diskette image and takes it through the console tool.
run: build
	@scripts/run-demo.sh $(BUILD)

# Pictures of both dialogs for the README, drawn under Xvfb (the Windows one by Wine) into docs/
screenshots: build test-deps windows
	@scripts/screenshots.sh $(BUILD)

# Benchmarks are built by every build; this runs them and prints the comparison table.
bench: build test-deps
	@scripts/run-bench.sh $(BUILD)

# batch on three drives at once against one, every drive slowed to a real one's pace, in the
# test machine of tests/vm (QEMU; about ten minutes). Not part of make bench.
bench-vm: build test-deps
	@bench/vm_drives_bench.sh . $(BUILD)

# Each fuzz target for 60 seconds under AddressSanitizer and UndefinedBehaviorSanitizer.
test-fuzz: deps test-deps
	@scripts/fuzz.sh $(BUILD)-fuzz 60

# The same, longer: FUZZ_SECONDS per target (default 600).
fuzz: deps test-deps
	@scripts/fuzz.sh $(BUILD)-fuzz $(or $(FUZZ_SECONDS),600)

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-tsan $(BUILD)-fuzz $(WINDOWS_BUILD)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i
