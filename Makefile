# The whole set-up is `make run` or `make test`; both install missing packages first.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all bootstrap build test run bench fuzz demo clean

all: build

bootstrap:
	@scripts/bootstrap

build: bootstrap
	cmake -S . -B $(BUILD) $(CMAKE_ARGS) >/dev/null
	cmake --build $(BUILD) -j$(JOBS)

test: build
	scripts/run-tests $(BUILD)

run: build
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

clean:
	rm -rf $(BUILD) build-*
