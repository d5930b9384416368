# Two commands for a fresh machine: `make run` and `make test`.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

.PHONY: run test build setup configure bench screenshot test-asan test-tsan fuzz soak clean windows test-windows setup-windows

# Recordings and models go to data/; the log shows the console's address.
run: build
	exec $(BUILD_DIR)/emgbridge --data-dir data

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure --timeout 900 -j$(JOBS)

build: configure
	cmake --build $(BUILD_DIR) -j$(JOBS)

configure: setup
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

setup:
	@tools/setup.sh

# Hardening and measurement; see docs/performance.md.
test-asan: setup
	tools/sanitize.sh address

test-tsan: setup
	tools/sanitize.sh thread

fuzz: setup
	FUZZ_SECONDS=$${FUZZ_SECONDS:-60} tools/fuzz.sh

soak: build
	SOAK_SECONDS=$${SOAK_SECONDS:-300} tools/soak.sh

bench: setup
	tools/bench.sh

# docs/console.png, taken in chromium on the virtual armband (ports 8888 and 8889).
screenshot: build
	EMGBRIDGE_BINARY=$(BUILD_DIR)/emgbridge CONSOLE_RECORDINGS=$(BUILD_DIR)/tools/console_kit/console_recordings \
	    node tools/screenshot.mjs docs/console.png

# Windows (docs/windows.md): cross-built with mingw-w64 into build-windows/ and
# packed into dist/; ARCH=i686 for 32-bit Windows (built and packed only).
ARCH ?= x86_64
windows: setup-windows
	tools/windows_package.sh $(ARCH)

# The C++ suite built for Windows and run under wine64.
test-windows: setup-windows
	tools/test_windows.sh

setup-windows:
	@EMG_WITH_WINDOWS=1 tools/setup.sh

clean:
	rm -rf $(BUILD_DIR) build-* dist
