# Convenience front end over CMake. `make run` and `make test` install what is missing first.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test package clean fuzz

all: build

deps:
	./scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/vorlet

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The Debian package, $(BUILD)/vorlet_<version>_<arch>.deb: `apt-get install ./$(BUILD)/vorlet_*.deb`.
package: build
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD)

# The road's fuzz target (clang and libFuzzer), run for FUZZ_TIME seconds. New inputs it finds
# gather in $(FUZZ_BUILD)/corpus; one that breaks a property is kept as $(FUZZ_BUILD)/crash-*.
FUZZ_BUILD ?= build-fuzz
FUZZ_TIME ?= 60
FUZZ_FLAGS ?=

fuzz:
	./scripts/install-deps fuzz
	cmake -S fuzz -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++-14
	cmake --build $(FUZZ_BUILD) --target road_fuzzer -j $(JOBS)
	mkdir -p $(FUZZ_BUILD)/corpus
	$(FUZZ_BUILD)/road_fuzzer -max_total_time=$(FUZZ_TIME) -timeout=10 -rss_limit_mb=2048 \
	  -max_len=4096 -dict=fuzz/road.dict -artifact_prefix=$(FUZZ_BUILD)/ -print_final_stats=1 \
	  $(FUZZ_FLAGS) $(FUZZ_BUILD)/corpus fuzz/corpus
