# The two commands of the README: `make demo` and `make test`. Both install what is
# missing, configure and build into build/; nothing else in the tree is written.
BUILD      ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_ARGS ?=

export QT_QPA_PLATFORM ?= offscreen

.PHONY: all deps configure build test demo screenshots clean

all: build

deps:
	@./scripts/install-deps

$(BUILD)/build.ninja: CMakeLists.txt | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_ARGS)

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 300

# Builds the bundled sample installation and imports its first owner into build/demo/record.
demo: build
	@rm -rf $(BUILD)/demo
	$(BUILD)/host/mkwin/tolvane-mkwin samples/demo.json $(BUILD)/demo/windows
	@echo
	$(BUILD)/host/cli/tolvane-import --windows-root $(BUILD)/demo/windows --list
	@echo
	$(BUILD)/host/cli/tolvane-import --windows-root $(BUILD)/demo/windows \
	    --owner Rover --password-file samples/demo.password --out $(BUILD)/demo/record

screenshots: build
	$(BUILD)/tests/dialogs/dialog_screenshots $(BUILD)/screenshots
	$(BUILD)/host/mkwin/tolvane-mkwin samples/demo.json $(BUILD)/demo/windows --force
	$(BUILD)/tests/gui/gui_screenshots $(BUILD)/screenshots $(BUILD)/demo/windows \
	    $(BUILD)/src/plugin/libtarvex.so.1 "$$(head -n 1 samples/demo.password)"

clean:
	rm -rf $(BUILD)
