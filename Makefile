# Entry points for developers and CI. `make check` is the one command that installs what is
# missing, builds every program for Linux and Windows, and runs every test.

.PHONY: check deps host win32 win64 fuzz test-host test-win64 test-fuzz test-tsan san clean demo \
	demo-clean

check: deps
	$(MAKE) test-host
	$(MAKE) test-win64
	$(MAKE) win32
	$(MAKE) test-fuzz
	$(MAKE) test-tsan
	$(MAKE) san
	@echo "make check: all builds and tests passed"

deps:
	tools/install-deps.sh

host:
	cmake --preset host
	cmake --build --preset host

test-host: host
	ctest --preset host

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

# The threaded parts (worker, events, window table) under ThreadSanitizer: any report fails.
TSAN_TESTS = engine_tests ui_host_tests platform_tests
test-tsan:
	cmake --preset host-tsan
	cmake --build --preset host-tsan --target $(TSAN_TESTS)
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

demo:
	cmake --preset host
	cmake --build --preset host --target $(DEMO_TARGETS)
	tools/demo/kestrune-demo build/host/bin $(DEMO_DIR) $(DEMO_ARGS)

demo-clean:
	rm -rf $(DEMO_DIR)

clean:
	rm -rf build
