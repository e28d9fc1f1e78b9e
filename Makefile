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
	configure-tsan build-tsan test-tsan configure-fuzz build-fuzz fuzz test-fuzz test-stress windows test-windows

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
	@$(MAKE) --no-print-directory test-windows

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

# dist/quorvane.zip: the add-in package (MANIFEST.XML, libquorvane.so and the two Windows DLLs of
# `make windows`). The Linux library is built in a folder of its own against a Debian 11 root
# (glibc 2.31, the -dev packages; made once by scripts/package-root) with zlib, libzip, zint and
# libjpeg-turbo built from Debian's sources into the library (scripts/third-party-sources); both
# are kept in the cache outside the tree (scripts/quorvane-cache). Then the library's portability
# check, and what it and the embedded viewer need on the machine that prints.
PACKAGE_BUILD ?= build-package
package: deps windows
	@root=$$(scripts/package-root) && sources=$$(scripts/third-party-sources) && \
		cmake -S . -B $(PACKAGE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_PORTABLE=ON \
			-DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/Sysroot.cmake -DQUORVANE_SYSROOT=$$root \
			-DQUORVANE_THIRD_PARTY_SOURCES=$$sources -DQUORVANE_WINDOWS_BUILD=$(abspath $(WINDOWS_BUILD)) \
			$(CMAKE_FLAGS) > /dev/null
	@cmake --build $(PACKAGE_BUILD) -j $(JOBS) --target quorvane_package
	@ctest --test-dir $(PACKAGE_BUILD) --output-on-failure
	@mkdir -p dist
	@cp $(PACKAGE_BUILD)/dist/quorvane.zip dist/quorvane.zip
	@echo "dist/quorvane.zip"
	@scripts/runtime-needs --root $$(scripts/package-root) $(PACKAGE_BUILD)/libquorvane.so $(PACKAGE_BUILD)/quorvane-viewer

# The package on minimal Debian 11 and Debian 12 roots holding only the README's run-time
# packages, printing the examples to the virtual printer outside and decoding their barcodes
# (root, chroot and the Debian mirror; the roots are kept in the cache); then each of its
# libraries loaded as the platform would, the Windows DLLs under Wine.
test-install: package configure
	@cmake --build $(PACKAGE_BUILD) -j $(JOBS) --target quorvane-host-static
	@cmake --build $(BUILD) -j $(JOBS) --target quorvane-printer quorvane-check-codes package_test
	@scripts/test-install $(PACKAGE_BUILD) $(BUILD)
	@scripts/test-package-windows dist/quorvane.zip $(abspath $(WINDOWS_BUILD)) $(BUILD)

# Windows x86 and x64, cross-built with mingw-w64 into $(WINDOWS_BUILD)/x86 and /x64 with the
# libraries from Debian's sources (scripts/third-party-sources --windows; built once per target
# into the cache). It builds the parts that have their Windows twins so far (configure prints
# what is not built yet); `make test-windows` runs its tests under Wine (`make test` ends with it).
WINDOWS_BUILD ?= build-windows
WINDOWS_TARGETS ?= x86:i686 x64:x86_64
windows: deps
	@set -e; sources=$$(scripts/third-party-sources --windows); \
	for t in $(WINDOWS_TARGETS); do \
		dir=$(WINDOWS_BUILD)/$${t%%:*}; mkdir -p $$dir; \
		cmake -S . -B $$dir -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-$${t#*:}.cmake \
			-DQUORVANE_THIRD_PARTY_SOURCES=$$sources -DQUORVANE_LINUX_BUILD=$(abspath $(BUILD)) $(CMAKE_FLAGS) \
			> $$dir/configure.log 2>&1 \
			|| { cat $$dir/configure.log; exit 1; }; \
		grep -h 'Windows build' $$dir/configure.log; \
		cmake --build $$dir -j $(JOBS); \
	done

# The pictures, barcodes and the C host's dump are compared with the Linux build's, and the
# examples print to its virtual printer, so those programs are built too.
test-windows: windows configure
	@cmake --build $(BUILD) -j $(JOBS) --target picture_digest quorvane-printer quorvane-check-codes quorvane-host quorvane host_dump
	@set -e; for t in $(WINDOWS_TARGETS); do \
		ctest --test-dir $(WINDOWS_BUILD)/$${t%%:*} --output-on-failure; \
	done

demo: build
	@scripts/demo $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) $(PACKAGE_BUILD) $(WINDOWS_BUILD) dist
