# The whole set-up is `make run` or `make test`; both install missing packages first.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all bootstrap configure build board test run bench fuzz demo package clean

all: build

bootstrap:
	@scripts/bootstrap

configure: bootstrap
	cmake -S . -B $(BUILD) $(CMAKE_ARGS) >/dev/null

# Everything: the board, its tools, tests, benchmarks.
build: configure
	cmake --build $(BUILD) -j$(JOBS)

# Only what `make run` runs: the board and its screenshot tool.
board: configure
	cmake --build $(BUILD) -j$(JOBS) --target orlido orlido-screenshot

test: build
	scripts/run-tests $(BUILD)

run: board
	scripts/run-board $(BUILD)

bench: build
	scripts/run-bench $(BUILD)

fuzz:
	@scripts/bootstrap --fuzz
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DORLIDO_FUZZ=ON >/dev/null
	cmake --build build-fuzz -j$(JOBS)
	scripts/run-fuzz build-fuzz

demo:
	@scripts/bootstrap --demo
	tools/make-demo

# The Debian package in $(BUILD)/package/, checked with lintian.
package: build
	@scripts/bootstrap --package
	cd $(BUILD) && cpack -G DEB
	lintian --fail-on error $(BUILD)/package/orlido_*.deb

clean:
	rm -rf $(BUILD) build-*
