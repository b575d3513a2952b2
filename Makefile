# The two commands of the README. Each does all the set-up it needs.
.PHONY: run test build bench setup format

PRESET ?= default

setup:
	@bash scripts/setup.sh

build: setup
	@cmake --preset $(PRESET) >/dev/null
	@cmake --build --preset $(PRESET)

test: build
	@ctest --preset $(PRESET)

run: build
	@bash scripts/run.sh $(ARGS)

bench: build
	@./build/bench/core_bench

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i
