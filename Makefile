# The two entry points of the README. Everything else is CMake.
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: deps build build-asan build-tsan demo test test-release test-asan test-tsan test-package package bench fuzz format check-format clean

deps:
	@scripts/install-deps.sh

# For /usr, where the package installs: the front end looks for its manual in its own folder first.
build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOMBREL_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)

# ThreadSanitizer over the estimator's tests only: the threaded respondent pass lives there.
build-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOMBREL_TSAN=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target estimator_tests

# Estimates the bundled example study.
demo: build
	scripts/run-demo.sh $(BUILD)

# Builds and runs every test, once normally and once under AddressSanitizer and UBSan, then the
# estimator's tests under ThreadSanitizer, then builds the Debian package and checks it.
test: test-release test-asan test-tsan test-package

test-release: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-asan: build-asan
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# The estimator's tests under ThreadSanitizer: the threaded pass's own tests run 2, 3 and 8 threads,
# the estimator runs one thread per core.
test-tsan: build-tsan
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  ctest --test-dir $(TSAN_BUILD) -L estimator --output-on-failure -j $(JOBS)

# The Debian package $(BUILD)/ombrel_<version>_<arch>.deb of the release build's installed files.
package: build
	rm -f $(BUILD)/ombrel_*.deb
	cd $(BUILD) && cpack -G DEB

# The package's contents and Depends, and the programs run from it unpacked.
test-package: package
	scripts/check-package.sh $(BUILD)

bench: build
	scripts/run-bench.sh $(BUILD)

# Every reader's libFuzzer target for FUZZ_SECONDS each (clang); not part of test. A failing input
# lands in fuzz/corpus/<target>/, which the fuzz tests of the normal build replay.
fuzz: deps
	FUZZ_SECONDS=$(FUZZ_SECONDS) FUZZ_JOBS=$(JOBS) scripts/run-fuzz.sh $(FUZZ_BUILD)

# Applies the committed .clang-format to every source; check-format only reports (the test suite runs it).
format:
	scripts/check-format.sh --fix

check-format:
	scripts/check-format.sh

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
