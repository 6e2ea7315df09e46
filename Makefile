# make run   - install what is missing, build, start the emulated devices and the program
# make test  - install what is missing, build with ASan+UBSan, run every suite through CTest
# make bench - build optimised and run the benchmark programs
# make fuzz  - build the libFuzzer harnesses with clang and run each for a bounded time
# make vmtest - the test build against real kernel HID devices in a virtual machine

BUILD      ?= build
TEST_BUILD ?= build-test
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 30
CMAKE_GEN  := -G Ninja

.PHONY: all deps build run test vmtest bench fuzz clean

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVALE_TESTS=OFF >/dev/null
	@cmake --build $(BUILD)

run: build
	@bash scripts/run.sh $(BUILD)

test: deps
	@cmake -S . -B $(TEST_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DKORVALE_SANITIZE=ON -DKORVALE_BENCH=OFF >/dev/null
	@cmake --build $(TEST_BUILD)
	@cd $(TEST_BUILD) && ctest --output-on-failure -j2

vmtest: deps
	@cmake -S . -B $(TEST_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DKORVALE_SANITIZE=ON -DKORVALE_BENCH=OFF >/dev/null
	@cmake --build $(TEST_BUILD)
	@bash scripts/vmtest.sh $(TEST_BUILD)

bench: deps
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVALE_TESTS=OFF >/dev/null
	@cmake --build $(BUILD)
	@bash scripts/bench.sh $(BUILD)

fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVALE_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_BUILD)
	@bash scripts/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(TEST_BUILD) $(FUZZ_BUILD)
