# Front door: `make run` starts the program, `make test` runs every test,
# `make package` builds the Debian package.
JOBS      ?= $(shell nproc)
BUILD     ?= build
ASAN      ?= build-asan
FUZZ      ?= build-fuzz
FUZZ_SECONDS ?= 12
CMAKE_GEN := -G Ninja

.PHONY: deps build build-asan build-fuzz run package test test-integration test-unit test-asan fuzz bench screenshots clean

deps:
	@bash scripts/install-deps.sh

# The program's own folders compile as unity batches (8 files a batch): the
# Qt and standard headers are parsed once a batch instead of once a file.
# The test programs keep one object per file (tests/CMakeLists.txt).
UNITY := -DCMAKE_UNITY_BUILD=ON -DCMAKE_UNITY_BUILD_BATCH_SIZE=8

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
		-DTALMIRA_LEAN=ON $(UNITY)
	cmake --build $(BUILD) -j $(JOBS)

# The sanitizer build (clang, AddressSanitizer and UBSan): the unit tests and
# the libFuzzer targets over one sanitized core. Line tables are enough for
# the sanitizers' reports and take half the compile time of full debug info.
build-asan: deps
	CC=clang CXX=clang++ cmake -S . -B $(ASAN) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
		-DCMAKE_C_FLAGS_DEBUG=-gline-tables-only -DCMAKE_CXX_FLAGS_DEBUG=-gline-tables-only \
		-DTALMIRA_SANITIZE=ON -DTALMIRA_BENCH=OFF $(UNITY)
	cmake --build $(ASAN) -j $(JOBS) --target talmira_unit_tests talmira_fuzz_targets

# Fuzz targets alone, optimised, for longer fuzzing runs (make fuzz uses the
# sanitizer build's).
build-fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALMIRA_FUZZ=ON
	cmake --build $(FUZZ) -j $(JOBS)

run: build
	bash scripts/run.sh $(BUILD)

# The Debian package, in $(BUILD) (talmira_VERSION_ARCH.deb).
package: build
	cmake --build $(BUILD) --target package

# The integration scripts over the release build (root for the namespaces).
test-integration: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -L integration -j $(JOBS)

# The unit test programs without sanitizers: quicker to build while working
# on one layer; `make test` runs them under the sanitizers instead.
test-unit: build
	cmake --build $(BUILD) -j $(JOBS) --target talmira_unit_tests
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -L unit -j $(JOBS)

test-asan: build-asan
	cd $(ASAN) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
		ctest --output-on-failure -L unit -j $(JOBS)

fuzz: build-asan
	bash scripts/run-fuzz.sh $(ASAN) $(FUZZ_SECONDS) $(JOBS)

test: test-integration test-asan fuzz
	@echo "All tests passed."

bench: build
	cmake --build $(BUILD) -j $(JOBS) --target talmira_bench
	bash scripts/run-bench.sh $(BUILD)

screenshots: build
	bash scripts/screenshots.sh $(BUILD) docs/screenshots

clean:
	rm -rf $(BUILD) $(ASAN) $(FUZZ)
