# Everything a newcomer needs: `make demo` and `make test`.
BUILD   ?= build
# The same sources built with AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer.
ASAN_BUILD ?= build-asan
# The label builder threads under ThreadSanitizer: their tests only, a few minutes.
TSAN_BUILD ?= build-tsan
TSAN_TESTS ?= tests/label_document/label_document_test tests/print_job/print_job_test \
	tests/print_job/print_job_usb_test tests/tspl/tspl_test tests/printer/graphic_text_test
JOBS    ?= $(shell nproc)
CMAKE_FLAGS ?=
# libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer), a build of their own.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 300

.PHONY: all deps configure build test check demo clean package test-install configure-asan build-asan test-asan \
	configure-tsan build-tsan test-tsan configure-fuzz build-fuzz fuzz test-fuzz test-stress

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) > /dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Every test on the normal build, then again on the sanitizer build, the builder threads'
# tests under ThreadSanitizer, then the fuzz targets' seed and regression inputs replayed: the
# same inputs every run, so the outcome depends on the change alone.
test: build
	@scripts/run-tests $(BUILD)
	@$(MAKE) --no-print-directory test-asan
	@$(MAKE) --no-print-directory test-tsan
	@$(MAKE) --no-print-directory test-fuzz

# The inner loop: the unit tests on the normal build only (CI runs `make test`).
check: build
	@scripts/run-tests $(BUILD) -L unit

# Benchmarks are left out of the sanitizer build: they are timings, not checks.
configure-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_SANITIZE=ON \
		-DQUORVANE_BENCHMARKS=OFF $(CMAKE_FLAGS) > /dev/null

build-asan: configure-asan
	@cmake --build $(ASAN_BUILD) -j $(JOBS)

test-asan: build-asan
	@scripts/run-tests $(ASAN_BUILD)

configure-tsan: deps
	@cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_TSAN=ON \
		-DQUORVANE_BENCHMARKS=OFF $(CMAKE_FLAGS) > /dev/null

build-tsan: configure-tsan
	@cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(notdir $(TSAN_TESTS))

# A data race report ends the program with a failure status. GLib's slice allocator hands
# memory between threads in ways the sanitizer cannot see: plain malloc instead.
test-tsan: build-tsan
	@set -e; for t in $(TSAN_TESTS); do \
		echo "== $$t"; \
		G_SLICE=always-malloc TSAN_OPTIONS="halt_on_error=1 exitcode=66 $$TSAN_OPTIONS" \
			$(TSAN_BUILD)/$$t --gtest_brief=1; \
	done

configure-fuzz: deps
	@cmake -S fuzz -B $(FUZZ_BUILD) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ $(CMAKE_FLAGS) > /dev/null

build-fuzz: configure-fuzz
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)

# Each target for FUZZ_SECONDS, as many at once as there are cores; new corpus entries and
# findings stay in $(FUZZ_BUILD).
fuzz: build-fuzz
	@fuzz/run $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The checked-in inputs only; random runs are `make fuzz`.
test-fuzz: build-fuzz
	@fuzz/run --replay $(FUZZ_BUILD)

# Every test of STRESS_BUILD up to STRESS_REPEAT times in a row, with a compile running beside it.
STRESS_BUILD  ?= $(BUILD)
STRESS_REPEAT ?= 20
test-stress:
	@scripts/stress-tests $(STRESS_BUILD) $(STRESS_REPEAT)

# dist/quorvane.zip: the add-in package (MANIFEST.XML and libquorvane.so), and what its library
# and the embedded viewer need on the machine that prints.
package: configure
	@cmake --build $(BUILD) -j $(JOBS) --target quorvane_package
	@mkdir -p dist
	@cp $(BUILD)/dist/quorvane.zip dist/quorvane.zip
	@echo "dist/quorvane.zip"
	@scripts/runtime-needs $(BUILD)/libquorvane.so $(BUILD)/quorvane-viewer

# The package on a minimal Debian 12 root holding only the README's run-time packages, printing the
# examples to the virtual printer outside (root, chroot and the Debian mirror; a few minutes).
test-install: package
	@cmake --build $(BUILD) -j $(JOBS) --target quorvane-host-static quorvane-printer
	@scripts/test-install $(BUILD)

demo: build
	@scripts/demo $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) dist
