# The two set-up commands: `make run` and `make test`. Both install what is missing first.
BUILD   ?= build
RUN_DIR ?= $(CURDIR)/run
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Our own builds and CI treat warnings as errors; a distribution's build need not.
WERROR_FLAGS = -DVESKOSD_WERROR=ON
JOBS    ?= $(shell nproc)
SHELL   := /bin/bash
# Every header of ours, wherever the compiler found it from.
LINT_HEADERS = ^$(CURDIR)/(app|base|dispatch|input|serial|audio|brightness|osd|buttons|power|control|platform|cli|tools|res)/

.PHONY: all deps build run test check test-asan test-tsan bench bench-all fuzz format format-check lint clean

all: build

deps:
	@bash scripts/install-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(WERROR_FLAGS) $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@mkdir -p $(RUN_DIR)/runtime $(RUN_DIR)/data
	@chmod 700 $(RUN_DIR)/runtime
	@echo "veskosd: drive it from another shell with: $(BUILD)/veskosd --runtime-dir $(RUN_DIR)/runtime status   (or: post 1281 512 32)"
	$(BUILD)/veskosd --machine sim --runtime-dir $(RUN_DIR)/runtime --data-dir $(RUN_DIR)/data $(ARGS)

test: build
	bash scripts/check-layering
	$(MAKE) --no-print-directory format-check
	$(MAKE) --no-print-directory lint
	$(MAKE) --no-print-directory check

# The suite alone, on a tree already built.
check:
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

# Sanitizer reports end the process, so a fault in the spawned daemon fails its test too. The
# sources are those `make test` checks, so the sanitizer builds run the suite only.
test-asan:
	ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 $(MAKE) build check BUILD=build-asan CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=Debug -DVESKOSD_SANITIZE=address"

test-tsan:
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/scripts/tsan.supp $(MAKE) build check BUILD=build-tsan CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=Debug -DVESKOSD_SANITIZE=thread"

# The Debian package, packed by cpack from the build tree and checked by lintian:
# $(BUILD)/veskosd_VERSION-1_ARCH.deb.
.PHONY: deb
deb: build
	rm -f $(BUILD)/veskosd_*.deb
	cd $(BUILD) && cpack -G DEB
	lintian --fail-on error $(BUILD)/veskosd_*.deb

# The running daemon on Xvfb and pulseaudio (about three minutes; BENCH_ARGS="--presses 10
# --idle-seconds 5" for a quick look), then on headless sway (about 15 s). bench-all runs the
# component benchmarks after it.
bench: build
	$(BUILD)/bench/runtime_bench $(BENCH_ARGS)
	$(BUILD)/bench/wayland_bench

bench-all: bench
	@for b in $(BUILD)/bench/*_bench; do [ "$${b##*/}" = runtime_bench ] || { echo "== $$b"; $$b; }; done

# Fuzzes the configuration reading for FUZZ_SECONDS (default 600), starting from the seeds.
# FUZZ_TARGET picks another target: control_fuzz (control requests), acpi_call_fuzz (acpi_call
# replies), hid_descriptor_fuzz (HID report descriptors), firmware_core_fuzz (level lists and
# ActionValue splitting).
FUZZ_SECONDS ?= 600
FUZZ_TARGET ?= config_fuzz
FUZZ_SEEDS_config_fuzz = tests/fuzz/corpus
FUZZ_SEEDS_control_fuzz = tests/fuzz/control_corpus
FUZZ_SEEDS_hid_descriptor_fuzz = tests/platform/linux/hid/descriptors
fuzz: deps
	cmake -S . -B build-fuzz -G Ninja -DVESKOSD_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
	cmake --build build-fuzz --target $(FUZZ_TARGET) -j $(JOBS)
	@mkdir -p build-fuzz/corpus-$(FUZZ_TARGET)
	build-fuzz/tests/fuzz/$(FUZZ_TARGET) build-fuzz/corpus-$(FUZZ_TARGET) $(FUZZ_SEEDS_$(FUZZ_TARGET)) \
	  -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 -print_final_stats=1

format:

	git ls-files -co --exclude-standard '*.cpp' '*.h' | xargs clang-format -i

format-check:
	@git ls-files -co --exclude-standard '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

# The Windows sources are linted by lint-win32, against the MinGW headers.
# The build's -ffat-lto-objects is GCC's; clang parses the same lines without it.
lint: $(BUILD)/build.ninja
	@set -o pipefail; git ls-files '*.cpp' | grep -v -E '^(tests|bench)/|/win32/' \
	  | xargs -P $(JOBS) -n 6 clang-tidy -p $(BUILD) --quiet --header-filter='$(LINT_HEADERS)' \
	    --extra-arg=-Wno-ignored-optimization-argument 2>&1 \
	  | { grep -v -E '^[0-9]+ warnings?( and [0-9]+ errors?)? generated\.$$' || true; }

# The native Windows program, cross-built with MinGW-w64: $(WIN32_BUILD)/veskosd.exe. Its tests
# run under Wine (scripts/test-win32); neither needs anything `make test` installs.
WIN32_BUILD ?= build-win32
WIN32_CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release
.PHONY: deps-win32 win32 test-win32 lint-win32
deps-win32:
	@bash scripts/install-deps --win32

$(WIN32_BUILD)/build.ninja:
	cmake -S . -B $(WIN32_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake \
	  -DVESKOSD_MAN=OFF $(WERROR_FLAGS) $(WIN32_CMAKE_FLAGS)

win32: deps-win32 $(WIN32_BUILD)/build.ninja
	cmake --build $(WIN32_BUILD) -j $(JOBS)

test-win32: win32
	$(MAKE) --no-print-directory lint-win32
	bash scripts/test-win32 $(WIN32_BUILD)

MINGW_CXX_INCLUDE = /usr/lib/gcc/x86_64-w64-mingw32/12-posix/include/c++
lint-win32: $(WIN32_BUILD)/build.ninja
	@set -o pipefail; git ls-files '*.cpp' | grep -E '^(base|platform)/(.*/)?win32/' \
	  | xargs -P $(JOBS) -n 6 clang-tidy -p $(WIN32_BUILD) --quiet --header-filter='$(LINT_HEADERS)' \
	    --extra-arg=--target=x86_64-w64-mingw32 --extra-arg=-isystem$(MINGW_CXX_INCLUDE) \
	    --extra-arg=-isystem$(MINGW_CXX_INCLUDE)/x86_64-w64-mingw32 \
	    --extra-arg=-isystem/usr/x86_64-w64-mingw32/include 2>&1 \
	  | { grep -v -E '^[0-9]+ warnings?( and [0-9]+ errors?)? generated\.$$' || true; }

clean:
	rm -rf build build-asan build-tsan build-fuzz build-win32
