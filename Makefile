# Everything a newcomer needs: `make demo` and `make test`.
BUILD   ?= build
JOBS    ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build test demo clean package

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) > /dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@scripts/run-tests $(BUILD)

demo: build
	@scripts/demo $(BUILD)

clean:
	rm -rf $(BUILD) build-* dist
