# Everything a newcomer needs: `make demo` and `make test`.
BUILD   ?= build
# The same sources built with AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer.
ASAN_BUILD ?= build-asan
JOBS    ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build test demo clean package configure-asan build-asan test-asan test-stress

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) > /dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Every test on the normal build, then again on the sanitizer build.
test: build
	@scripts/run-tests $(BUILD)
	@$(MAKE) --no-print-directory test-asan

# Benchmarks are left out of the sanitizer build: they are timings, not checks.
configure-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_SANITIZE=ON \
		-DQUORVANE_BENCHMARKS=OFF $(CMAKE_FLAGS) > /dev/null

build-asan: configure-asan
	@cmake --build $(ASAN_BUILD) -j $(JOBS)

test-asan: build-asan
	@scripts/run-tests $(ASAN_BUILD)

# Every test of STRESS_BUILD up to STRESS_REPEAT times in a row, with a compile running beside it.
STRESS_BUILD  ?= $(BUILD)
STRESS_REPEAT ?= 20
test-stress:
	@scripts/stress-tests $(STRESS_BUILD) $(STRESS_REPEAT)

# dist/quorvane.zip: the add-in package (MANIFEST.XML and libquorvane.so).
package: configure
	@cmake --build $(BUILD) -j $(JOBS) --target quorvane_package
	@mkdir -p dist
	@cp $(BUILD)/dist/quorvane.zip dist/quorvane.zip
	@echo "dist/quorvane.zip"

demo: build
	@scripts/demo $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) dist
