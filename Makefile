# The two entry points of the README. Everything else is CMake.
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan

.PHONY: deps build build-asan demo test test-release test-asan bench format check-format clean

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOMBREL_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)

# Estimates the bundled example study.
demo: build
	scripts/run-demo.sh $(BUILD)

# Builds and runs every test, once normally and once under AddressSanitizer and UBSan.
test: test-release test-asan

test-release: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-asan: build-asan
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

bench: build
	scripts/run-bench.sh $(BUILD)

# Applies the committed .clang-format to every source; check-format only reports (the test suite runs it).
format:
	scripts/check-format.sh --fix

check-format:
	scripts/check-format.sh

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
