# The two commands of the README. Each does all the set-up it needs.
.PHONY: run test build bench setup format fuzz check-sanitized package check-package

PRESET ?= default

setup:
	@bash scripts/setup.sh

build: setup
	@cmake --preset $(PRESET) >/dev/null
	@cmake --build --preset $(PRESET)

# Every test, headless: the normal build, the same suite again with the
# machine loaded three times over, the suite under the address and
# undefined-behaviour sanitizers (loaded as well), then each fuzzer for a
# bounded time.
test: build
	@ctest --preset $(PRESET)
	@bash scripts/under_load.sh ctest --preset $(PRESET)
	@$(MAKE) --no-print-directory check-sanitized LOAD="bash scripts/under_load.sh"
	@$(MAKE) --no-print-directory fuzz

check-sanitized: setup
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan
	@$(LOAD) ctest --preset asan

fuzz: setup
	@bash scripts/fuzz.sh

run: build
	@bash scripts/run.sh $(ARGS)

# The Debian package build/kelvo_<version>_<arch>.deb. Configured for /usr,
# the package's prefix, so that the installed demo's play list names its files.
package: setup
	@cmake --preset default -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
	@cmake --build --preset default
	@cd build && cpack -G DEB

# Installs that package on this machine and checks what a desktop sees of it.
check-package: package
	@bash scripts/check_package.sh

bench: build
	@./build/bench/core_bench
	@./build/bench/playback_bench

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i
