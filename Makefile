# Entry points for developers and CI. `make check` is the one command that installs what is
# missing, builds every program for Linux and Windows, and runs every test.

.PHONY: check deps host win32 win64 fuzz test-host test-win64 test-fuzz test-tsan san clean

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
TSAN_TESTS = engine_tests burning_tests ui_host_tests platform_tests
test-tsan:
	cmake --preset host-tsan
	cmake --build --preset host-tsan --target $(TSAN_TESTS)
	ctest --preset host-tsan -L '^($(subst $() ,|,$(TSAN_TESTS)))$$'

san:
	cmake --preset host-san
	cmake --build --preset host-san
	ctest --preset host-san

clean:
	rm -rf build
