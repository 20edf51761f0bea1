# The two commands of the README: `make demo` and `make test`. Both install what is
# missing, configure and build into build/; nothing else in the tree is written.
#
# `make test` runs three phases in turn: the normal build and its tests; the same tests in a
# build with AddressSanitizer and UndefinedBehaviorSanitizer (build/asan), where any report,
# a leak included, fails the test; and every fuzz target for TEST_FUZZ_SECONDS (build/fuzz).
BUILD      ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_ARGS ?=
# Line tables (-g1) give debuggers and sanitizer reports their file and line, and compile a
# third faster than full debug information: most of `make test` is compiling.
LINES_ONLY = -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
             -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"
# Both live inside build/, in folders that the normal build never uses.
ASAN_BUILD ?= $(BUILD)/asan
FUZZ_BUILD ?= $(BUILD)/fuzz
FUZZ_SECONDS      ?= 60
TEST_FUZZ_SECONDS ?= 8

export QT_QPA_PLATFORM ?= offscreen

# Without optimisation the sanitizer build compiles in a third of the time, and the tests
# run as fast as they need to; line tables only, as above; no benchmarks.
ASAN_CMAKE_ARGS = -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1 \
                  -DTOLVANE_SANITIZE=ON -DTOLVANE_BUILD_BENCH=OFF
# Stop at the first report; leaks count. Qt, fontconfig and hivex report nothing here, so no
# leak is suppressed.
SANITIZER_ENV = ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
CTEST = ctest --output-on-failure -j $(JOBS) --timeout 300

.PHONY: all deps configure build test test-normal asan-build test-asan fuzz-build fuzz \
        test-fuzz demo screenshots package clean

all: build

deps:
	@./scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(LINES_ONLY) $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: test-normal test-asan test-fuzz

test-normal: build
	$(CTEST) --test-dir $(BUILD)

asan-build: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja $(ASAN_CMAKE_ARGS) $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)

test-asan: asan-build
	$(SANITIZER_ENV) $(CTEST) --test-dir $(ASAN_BUILD)

# libFuzzer needs clang; the fuzz build holds the parsers and the host library only.
fuzz-build: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    $(LINES_ONLY) -DTOLVANE_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers

fuzz: fuzz-build
	$(SANITIZER_ENV) fuzz/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS)

test-fuzz: fuzz-build
	$(SANITIZER_ENV) fuzz/run-fuzzers $(FUZZ_BUILD) $(TEST_FUZZ_SECONDS)

# Builds the bundled sample installation, imports its owner Rover into build/demo/record (the
# record and the ICQ archive beside it) and shows what Rover's database holds.
demo: build
	@rm -rf $(BUILD)/demo
	$(BUILD)/host/mkwin/tolvane-mkwin samples/demo.json $(BUILD)/demo/windows
	@echo
	$(BUILD)/host/cli/tolvane-import --windows-root $(BUILD)/demo/windows --list
	@echo
	$(BUILD)/host/cli/tolvane-import --windows-root $(BUILD)/demo/windows \
	    --owner Rover --password-file samples/demo.password --out $(BUILD)/demo/record \
	    --time-zone Europe/Stockholm
	@echo
	$(BUILD)/host/icq/tolvane-icq info --time-zone Europe/Stockholm \
	    "$(BUILD)/demo/windows/Program Files/ICQ/2000a/23456789.dat"

screenshots: build
	$(BUILD)/tests/dialogs/dialog_screenshots $(BUILD)/screenshots
	$(BUILD)/host/mkwin/tolvane-mkwin samples/demo.json $(BUILD)/demo/windows --force
	$(BUILD)/tests/gui/gui_screenshots $(BUILD)/screenshots $(BUILD)/demo/windows \
	    $(BUILD)/src/plugin/libtarvex.so.1 "$$(head -n 1 samples/demo.password)"

# The Debian package, $(BUILD)/tolvane_<version>_<arch>.deb, made by CPack.
package: build
	cmake --build $(BUILD) --target package

clean:
	rm -rf $(BUILD)
