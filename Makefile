# Two commands for a fresh machine: `make run` and `make test`.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

.PHONY: run test build setup configure bench screenshot test-asan test-tsan fuzz soak clean

# Recordings and models go to data/; the log shows the console's address.
run: build
	exec $(BUILD_DIR)/emgbridge --data-dir data

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j$(JOBS)

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
	    node tools/console_kit/screenshot.mjs docs/console.png

clean:
	rm -rf $(BUILD_DIR) build-*
