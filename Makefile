# Vestra: the two commands are `make demo` and `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
GENERATOR  := -G Ninja
CMAKE_ARGS ?=
JOBS       ?= 2

.PHONY: all deps configure build test asan tsan bench demo clean format format-check install package

all: build

deps:
	@bash scripts/install-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

asan: deps
	cmake -S . -B $(ASAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DVESTRA_SANITIZE=ON $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# Every test that starts threads (ctest label "tsan"), the window tests included, under ThreadSanitizer.
# Qt's libraries are not instrumented: tests/tsan.supp keeps TSan from judging what happens inside them.
TSAN_OPTIONS_ALL = suppressions=$(CURDIR)/tests/tsan.supp halt_on_error=1 second_deadlock_stack=1 history_size=4

tsan: deps
	cmake -S . -B $(TSAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DVESTRA_TSAN=ON -DVESTRA_GUI=ON $(CMAKE_ARGS)
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	TSAN_OPTIONS="$(TSAN_OPTIONS_ALL)" ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) -L tsan

# make install PREFIX=/opt/vestra (default /usr/local): the programs, their files, desktop entry, icon, metainfo
# and manual pages in the usual layout.
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package vestra_<version>_<arch>.deb in $(BUILD): apt install ./$(BUILD)/vestra_*.deb
package: build
	cd $(BUILD) && cpack -G DEB

bench: build
	@bash scripts/run-benchmarks $(BUILD)/bin

demo: build
	@bash scripts/demo $(BUILD)/bin

# clang-format with the repository's .clang-format on every C++ file git knows.
format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD)
