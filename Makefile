# make run   installs what is missing, builds, starts the program under Wine
# make demo  the same with the whole gateway simulated (modems, services, mail, MM7)
# make screenshots  pictures of every page of the wizard and the main window (build/screenshots)
# make test  installs what is missing, builds both targets, runs every test
# make dist  the installer and the release zip in build/win32/dist, the help with screenshots
MAKEFLAGS += --no-print-directory
BUILD   ?= build
NATIVE  := $(BUILD)/native
WIN     := $(BUILD)/win32
JOBS    ?= $(shell nproc)

.PHONY: all deps native windows test run demo screenshots dist clean

all: native windows

deps:
	@bash tools/install-deps.sh

# A build folder is configured once; afterwards the build itself configures again when a
# CMakeLists.txt changed, so a build with nothing changed does nothing.
native: deps
	@test -f $(NATIVE)/CMakeCache.txt || cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=Debug \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build $(NATIVE) -j $(JOBS)

windows: deps
	@test -f $(WIN)/CMakeCache.txt || cmake -S . -B $(WIN) -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake >/dev/null
	@cmake --build $(WIN) -j $(JOBS)

# The installer is built for the tests (they install it) and by make dist, not by every build.
test: native windows
	@cmake --build $(WIN) --target installer
	@python3 tools/run_tests.py --native $(NATIVE) --windows $(WIN)

run: windows
	@bash tools/run-program.sh $(WIN)/install/QelSMS

demo: windows
	@python3 tools/demo.py --windows $(WIN)

screenshots: windows
	@python3 tools/screenshots.py --windows $(WIN)

# The release: screenshots of every page and dialog, the help document again with them, then
# the installer and the zip over the staged installation folder.
dist: windows
	@python3 tools/screenshots.py --windows $(WIN) --out $(BUILD)/screenshots
	@python3 tools/make_help_pdf.py docs/help/help.txt "$(WIN)/install/QelSMS/QelSMS Lite.pdf" \
	    --version-file VERSION --pictures $(BUILD)/screenshots --require-pictures
	@cmake --build $(WIN) --target installer release_zip
	@ls -l $(WIN)/dist

clean:
	rm -rf $(BUILD)
