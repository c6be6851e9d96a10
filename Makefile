# A thin layer over CMake: every target first installs what is missing, then builds in build/.
BUILD := build
JOBS ?= 2

.PHONY: all deps configure build run test bench clean install package

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

# build/vandrel_<version>_<arch>.deb
package: build
	@cmake --build $(BUILD) --target package

bench: build
	@scripts/run-benchmarks $(BUILD)

clean:
	rm -rf $(BUILD)
