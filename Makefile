# Wraps the CMake build. `make demo` runs the toolbox on generated data, `make test` runs every
# test (C++ and GNU Octave tests, then the C++ tests again under the sanitizers).
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
OCTAVE     ?= octave-cli --no-gui --norc --quiet --no-history

.PHONY: all build configure test test-main test-asan demo bench format clean

all: build

configure:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

# Builds every plug-in and puts the .mex files into toolbox/, beside their help files.
build: configure
	cmake --build $(BUILD) -j $(JOBS)
	@if ls $(BUILD)/toolbox/*.mex >/dev/null 2>&1; then cp $(BUILD)/toolbox/*.mex toolbox/; fi

test: test-main test-asan

test-main: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON -DWITH_OCTAVE=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

demo: build
	$(OCTAVE) --eval "addpath('toolbox'); motionseg_demo('out', '$(BUILD)/apps/flow_between')"

bench: build
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b || exit 1; done
	@echo "== bench/flow/compare_peers.py"; /usr/bin/python3 bench/flow/compare_peers.py --toolbox $(BUILD)/toolbox

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) toolbox/*.mex
