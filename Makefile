# Wraps the CMake build. `make demo` runs the toolbox on generated data, `make test` runs every
# test (C++ and GNU Octave tests, then the C++ tests again under the sanitizers). Both first
# install the Debian packages they need that are missing (tools/install-packages; set
# MOTIONSEG_NO_INSTALL=1 to skip that step).
BUILD      ?= build
ASAN_BUILD ?= build-asan
DIST       ?= dist
JOBS       ?= $(shell nproc)
OCTAVE     ?= octave-cli --no-gui --norc --quiet --no-history
# Further CMake options for every configuration, e.g. CMAKE_OPTIONS=-DWITH_MATLAB=ON.
CMAKE_OPTIONS ?=
INSTALL_PACKAGES = tools/install-packages

.PHONY: all build configure test test-main test-asan demo demo-build bench format clean dist \
        packages-demo packages-test copy-plugins install \
        packages-platforms test-platforms test-clang

all: build

packages-demo:
	@$(INSTALL_PACKAGES) demo

packages-test:
	@$(INSTALL_PACKAGES) demo test

configure:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DWITH_TESTS=ON -DWITH_BENCHMARKS=ON \
	  $(CMAKE_OPTIONS)

# Builds everything and puts the plug-ins into toolbox/, beside their help files.
build: configure
	cmake --build $(BUILD) -j $(JOBS)
	@$(MAKE) --no-print-directory copy-plugins

copy-plugins:
	@for f in $(BUILD)/toolbox/*.mex $(BUILD)/toolbox/*.mexa64; do \
	  if [ -f "$$f" ]; then cp "$$f" toolbox/; fi; \
	done

test: packages-test
	@$(MAKE) --no-print-directory test-main
	@$(MAKE) --no-print-directory test-asan

test-main: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON -DWITH_OCTAVE=OFF \
	  -DSTANDALONE_HOST_TYPES=matlab \
	  -DWITH_TESTS=ON -DWITH_BENCHMARKS=OFF $(CMAKE_OPTIONS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# The C++ tests built for 32-bit Linux, 64-bit and 32-bit Windows and run there (natively,
# under wine64 and wine): tools/test-platforms. PLATFORMS picks some of them, e.g.
# make test-platforms PLATFORMS="linux32 win64"; only win32 needs the i386 packages.
PLATFORMS ?= linux32 win64 win32
packages-platforms:
	@$(INSTALL_PACKAGES) platforms $(if $(filter win32,$(PLATFORMS)),platforms-win32)

test-platforms: packages-platforms
	BUILD_PREFIX=$(BUILD)- JOBS=$(JOBS) tools/test-platforms $(PLATFORMS)

# Everything built by clang (the compiler of macOS users), warnings shown as with GCC, and its
# C++ and Octave tests run.
CLANG_BUILD ?= $(BUILD)-clang
test-clang: packages-test
	@$(INSTALL_PACKAGES) clang
	CC=clang CXX=clang++ cmake -S . -B $(CLANG_BUILD) -DCMAKE_BUILD_TYPE=Release -DWITH_TESTS=ON \
	  -DWITH_BENCHMARKS=ON $(CMAKE_OPTIONS)
	cmake --build $(CLANG_BUILD) -j $(JOBS)
	cd $(CLANG_BUILD) && ctest --output-on-failure -j $(JOBS)

# The demo needs the plug-ins and flow_between only. A build tree made for it alone leaves the
# tests and benchmarks out; one that has them keeps them (make build and make test add them).
demo-build:
	@if [ -f $(BUILD)/CMakeCache.txt ]; then \
	  cmake -S . -B $(BUILD) $(CMAKE_OPTIONS); \
	else \
	  cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DWITH_TESTS=OFF -DWITH_BENCHMARKS=OFF \
	    $(CMAKE_OPTIONS); \
	fi
	cmake --build $(BUILD) -j $(JOBS) --target octave_plugins flow_between
	@$(MAKE) --no-print-directory copy-plugins

demo: packages-demo
	@$(MAKE) --no-print-directory demo-build
	$(OCTAVE) --eval "addpath('toolbox'); motionseg_demo('out', '$(BUILD)/apps/flow_between')"

# The programs with their manual pages, the Slurm script, the toolbox with its plug-ins and the
# Python module, under PREFIX: make install PREFIX=$$HOME/.local. A build tree made for it
# alone leaves the tests and benchmarks out.
PREFIX ?= /usr/local
install:
	@$(INSTALL_PACKAGES) demo install
	@if [ ! -f $(BUILD)/CMakeCache.txt ]; then \
	  cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DWITH_TESTS=OFF -DWITH_BENCHMARKS=OFF \
	    $(CMAKE_OPTIONS); \
	fi
	cmake --build $(BUILD) -j $(JOBS)
	cmake --install $(BUILD) --prefix $(PREFIX)

# The GNU Octave package: $(DIST)/motionseg-VERSION.tar.gz, for `pkg install`.
dist:
	tools/make-dist $(DIST)

bench: build
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b || exit 1; done
	@echo "== bench/flow/compare_peers.py"; /usr/bin/python3 bench/flow/compare_peers.py --toolbox $(BUILD)/toolbox

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(BUILD)-linux32 $(BUILD)-win64 $(BUILD)-win32 $(CLANG_BUILD) $(ASAN_BUILD) $(DIST) toolbox/*.mex toolbox/*.mexa64
