# Lumivo: a self-extracting installer for 64-bit Windows and its Linux packer.
#   make        build everything (Windows programs with MinGW-w64, the packer natively)
#   make test   install what is missing, build, and run every test (Wine under Xvfb)
#   make demo   pack the sample application and run its installer under Wine
#   make bench  Lumivo against NSIS: pack, size, install time and memory under Wine (build/bench/results.md)
#   make install [PREFIX=/usr/local] [DESTDIR=]   install lumivo-pack, its stub and its CPack module
#   make deb    the Debian package build/lumivo_VERSION_ARCH.deb
.PHONY: all build test demo screenshots bench bootstrap clean install deb

BUILD      := build
JOBS       ?= $(shell nproc)
PREFIX     ?= /usr/local
DESTDIR    ?=
CMAKE_TYPE ?= MinSizeRel

all: build

bootstrap:
	@tools/bootstrap

$(BUILD)/win/CMakeCache.txt: | bootstrap
	cmake -S . -B $(BUILD)/win -DCMAKE_BUILD_TYPE=$(CMAKE_TYPE) \
	      -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64.cmake

$(BUILD)/native/CMakeCache.txt: | bootstrap
	cmake -S . -B $(BUILD)/native -DCMAKE_BUILD_TYPE=Release \
	      -DLUMIVO_WINDOWS_BUILD_DIR=$(CURDIR)/$(BUILD)/win

build: bootstrap $(BUILD)/win/CMakeCache.txt $(BUILD)/native/CMakeCache.txt
	cmake --build $(BUILD)/win -j $(JOBS)
	cmake --build $(BUILD)/native -j $(JOBS)

# One ctest run holds the native tests and, through the native tree, the Windows ones.
test: build
	status=0; tools/with-display ctest --test-dir $(BUILD)/native --output-on-failure -j 2 $(CTEST_ARGS) \
	    || status=$$?; tools/wine-stop; exit $$status

demo: build
	tools/demo $(if $(INTERACTIVE),--interactive)

bench: build
	tools/bootstrap bench
	tools/with-display $(BUILD)/native/bench/install-benchmark --pack $(BUILD)/bin/lumivo-pack \
	    --stub $(BUILD)/bin/lumivo-stub.exe --work $(BUILD)/bench --tools tools \
	    --win-bench $(BUILD)/bin $(BENCH_ARGS)

screenshots: build
	tools/with-display tools/screenshots

install: build
	tools/install-files $(BUILD) "$(DESTDIR)" $(PREFIX)

deb: build
	tools/make-deb $(BUILD)

clean:
	rm -rf $(BUILD)
