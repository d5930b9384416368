# Two commands for a fresh machine: `make run` and `make test`.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

.PHONY: run test build setup configure bench clean

run: build
	mkdir -p data
	cd data && exec ../$(BUILD_DIR)/emgbridge

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j$(JOBS)

build: configure
	cmake --build $(BUILD_DIR) -j$(JOBS)

configure: setup
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

setup:
	@tools/setup.sh

bench:
	@EMG_WITH_BENCH=1 tools/setup.sh
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DEMG_BUILD_BENCH=ON -DEMG_BUILD_TESTS=ON
	cmake --build build-bench -j$(JOBS) --target model_bench
	build-bench/bench/model_bench

clean:
	rm -rf $(BUILD_DIR) build-bench
