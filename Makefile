# Entry points for developers and CI. `make check` is the one command that installs what is
# missing, builds every program for Linux and Windows, and runs every test.

.PHONY: check deps deps-host host win32 win64 fuzz test-host tidy test-win64 test-fuzz test-tsan san clean \
	demo demo-clean

check: deps
	$(MAKE) test-host
	$(MAKE) tidy
	$(MAKE) test-win64
	$(MAKE) win32
	$(MAKE) test-fuzz
	$(MAKE) test-tsan
	$(MAKE) san
	@echo "make check: all builds and tests passed"

deps:
	tools/install-deps.sh

# What the Linux host build and the demo need: a second run checks and installs nothing.
deps-host:
	tools/install-deps.sh --host

# Warnings are errors here as in every preset CI builds; a plain `cmake --preset host` turns
# them back into warnings for iterating.
host:
	cmake --preset host -DKESTRUNE_WERROR=ON
	cmake --build --preset host

test-host: host
	ctest --preset host

# clang-tidy with the repository's .clang-tidy over the core (and the headers it includes), on
# the host build's compile commands; any finding fails. About 20 seconds on two cores.
TIDY_FILES = $(filter-out %_test.cpp %_support.cpp,\
  $(wildcard app/*.cpp engine/*.cpp verify/*.cpp devices/*.cpp wizard/*.cpp startup/*.cpp \
             ui/script/*.cpp))
tidy: host
	printf '%s\n' $(TIDY_FILES) | xargs -P 2 -n 4 clang-tidy -p build/host --quiet --warnings-as-errors='*'

win64:
	cmake --preset win64
	cmake --build --preset win64

# The Windows console programs under wine64; they compare their results with the host build.
test-win64: host win64
	ctest --preset win64

win32: win64
	cmake --preset win32
	cmake --build --preset win32

fuzz:
	cmake --preset host-fuzz
	cmake --build --preset host-fuzz

test-fuzz: fuzz
	ctest --preset host-fuzz

# The whole tree with clang (its -Wthread-safety checks every guarded field), and the threaded
# parts (worker, events, window table, the simulated disc writer and the disc burning with its
# progress sink, the terminal wizard on the real pages, the script engine, Sabrel's parallel
# digests) under ThreadSanitizer: any report fails.
TSAN_TESTS = engine_tests burning_tests devices_tests ui_host_tests ui_terminal_tests \
  ui_script_tests platform_tests platform_host_tests sabrel_tests sim_tests
test-tsan:
	cmake --preset host-tsan
	cmake --build --preset host-tsan
	ctest --preset host-tsan -L '^($(subst $() ,|,$(TSAN_TESTS)))$$'

san:
	cmake --preset host-san
	cmake --build --preset host-san
	ctest --preset host-san

# The whole job in the terminal: builds what the demo needs, makes a small sample recovery set
# (once), resets the demo's own simulated machine and starts the downloader's launcher on it.
# DEMO_ARGS go to kestrixdl (for example /P to leave discs out); demo-clean starts afresh.
DEMO_DIR ?= build/demo
DEMO_ARGS ?=
DEMO_TARGETS = kestrixdw kestrixdl kestrune-sampleset kestrune-machine kestrune-cmd carried_tools

# An existing host build keeps its settings (configuring it again would turn warnings-as-errors
# off and rebuild everything after `make host`).
demo: deps-host
	test -f build/host/CMakeCache.txt || cmake --preset host
	cmake --build --preset host --target $(DEMO_TARGETS)
	tools/demo/kestrune-demo build/host/bin $(DEMO_DIR) $(DEMO_ARGS)

demo-clean:
	rm -rf $(DEMO_DIR)

clean:
	rm -rf build
