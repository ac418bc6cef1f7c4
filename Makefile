# make        build everything into build/ (the extractor stub, the runtime library, kvpack)
# make demo   build a demo package image with kvpack and run it
# make test   run every test (Windows ones under Wine, for each architecture the machine runs;
#             KV_ARCHS="x86 x64" chooses by hand) and print CTest's summary
# make bench  measure packages against the LZMA SDK's own extractor (by hand; build/bench/report.md)
# make deps   install what is missing (Debian packages, LZMA SDK sources); run by the others
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps configure demo test bench clean

all: deps configure
	@cmake --build $(BUILD) -j $(JOBS)

deps:
	@bash tools/deps.sh

configure: deps
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null

demo: all
	@bash tools/demo.sh $(BUILD)

test: all
	@bash tools/run-tests.sh $(BUILD) $(JOBS)

bench: all
	@bash bench/run-bench.sh $(BUILD)

clean:
	find $(BUILD) -mindepth 1 -maxdepth 1 ! -name _deps -exec rm -rf {} +
