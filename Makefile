# A thin layer over CMake: every target first installs what is missing, then builds in build/.
BUILD := build
JOBS ?= 2

.PHONY: all deps configure build run test bench clean install package fuzz test-asan test-tsan

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-demo $(BUILD)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Into the configured prefix (/usr/local unless configured otherwise); never stripped.
install: build
	@cmake --install $(BUILD)

# build/vandrel_<version>_<arch>.deb. Builds only what the package holds (the program with its
# payload, the web view plugin, the generated icons, manual page and metainfo), never the tests.
package: configure
	@cmake --build $(BUILD) -j $(JOBS) --target vandrel vandrel_web vandrel_install_files
	@cd $(BUILD) && cpack -G DEB --config CPackConfig.cmake

bench: build
	@scripts/run-benchmarks $(BUILD)

# libFuzzer targets built with clang in build-fuzz, each run FUZZ_SECONDS (default 60).
fuzz: deps
	@scripts/run-fuzzers

# The whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan.
test-asan: deps
	@scripts/run-sanitized-tests asan

# The threaded tests built with ThreadSanitizer in build-tsan.
test-tsan: deps
	@scripts/run-sanitized-tests tsan

clean:
	rm -rf $(BUILD)
