# The two entry points: `make run` shows the intro, `make test` runs every test.
# Both install whatever Debian packages are missing and build first: `make run` only what
# building and running the programs needs, `make test` everything.
BUILD ?= build

# CMake's own progress is the build's output; make's "Entering directory" lines add nothing.
MAKEFLAGS += --no-print-directory

WEB ?= build-web
# emscripten's tools find their node modules here even when the node on PATH is not Debian's.
EMENV = NODE_PATH=/usr/share/nodejs

.PHONY: deps deps-run programs run test build test-unit test-asan test-tsan test-fuzz web test-web test-mutants fuzz-build fuzz-long

deps-run:
	@scripts/install-deps run

deps:
	@scripts/install-deps

# The programs; the tests and benchmarks only when their packages are there already.
programs: deps-run
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j2 --target intro-port intro-tiny intro-capture

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DINTRO_TESTS=ON >/dev/null
	@cmake --build $(BUILD) -j2

run: programs
	@scripts/run-intro $(BUILD)/intro-port

# The show as one web page, built by emscripten in its own folder.
web:
	@scripts/install-deps web
	@$(EMENV) emcmake cmake -S . -B $(WEB) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@$(EMENV) cmake --build $(WEB) -j2 --target vintelo
	@echo "make web: $(abspath $(WEB))/vintelo.html ($$(stat -c %s $(WEB)/vintelo.html) bytes, $$(gzip -9c $(WEB)/vintelo.html | wc -c) gzipped):" \
		"open it in a browser, or serve it: python3 -m http.server -d $(WEB) 8000"

# Every test: the ordinary build's suite, then the sanitizer builds, the fuzzer and the web build.
test: test-unit test-asan test-tsan test-fuzz test-web

test-unit: build
	@cd $(BUILD) && ctest --output-on-failure -j2

# The unit and end-to-end suites (all but the slow full run) under AddressSanitizer and UBSan;
# intro-tiny keeps its own flags, its modules run instrumented in the unit tests.
SAN_AU = -fsanitize=address,undefined -fno-sanitize-recover=all
test-asan: deps
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINTRO_TESTS=ON \
		"-DCMAKE_CXX_FLAGS=$(SAN_AU)" "-DCMAKE_C_FLAGS=$(SAN_AU)" >/dev/null
	@cmake --build build-asan -j2
	@cd build-asan && ctest --output-on-failure -j2 -LE slow

# intro-port under ThreadSanitizer, playing on a virtual display (tests/tsan).
test-tsan: deps
	@cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINTRO_TESTS=ON \
		-DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_C_FLAGS=-fsanitize=thread >/dev/null
	@cmake --build build-tsan -j2 --target intro-port tsan_racy
	@cd build-tsan && ctest --output-on-failure -L tsan

# The song parser and float synthesizer, and the packer's decoder, under libFuzzer, ASan and
# UBSan, built with clang in its own directory: every past finding and seed once, then 60 s
# (song) and 30 s (decoder) of fuzzing on a scratch corpus.
test-fuzz: fuzz-build
	@cd build-fuzz && ctest -L fuzz --output-on-failure
	@cat build-fuzz/fuzz/run/summary build-fuzz/fuzz/run-unpack/summary

# The web build's suites under node, its comparisons with the ordinary build (scene calls,
# matrices against Mesa's), the page in headless Chromium against the native renders and stills, and
# the release archive (the page with the native intro-tiny).
test-web: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DINTRO_TESTS=ON >/dev/null
	@cmake --build $(BUILD) -j2 --target intro-capture render-port render-tiny scene-calls web_matrix_gl_test
	@cmake --build $(BUILD) -j2 --target intro-tiny
	@cd $(BUILD) && ctest --output-on-failure -L web
	@$(EMENV) emcmake cmake -S . -B $(WEB) -DCMAKE_BUILD_TYPE=Release -DINTRO_TESTS=ON \
		-DVINTELO_NATIVE=$(abspath $(BUILD)) >/dev/null
	@$(EMENV) cmake --build $(WEB) -j2
	@cd $(WEB) && ctest --output-on-failure -j2 -L web

# One archive to download and pass on, vintelo-VERSION.zip here: intro-tiny, the page, an
# information file and a screenshot (VIDEO=1: the video as well); builds what it needs first.
.PHONY: release
release:
	@MAKE="$(MAKE)" scripts/release $(if $(filter 1,$(VIDEO)),--video) $(BUILD) $(WEB) .

fuzz-build: deps
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINTRO_TESTS=ON -DINTRO_FUZZ=ON >/dev/null
	@cmake --build build-fuzz -j2 --target fuzz-song fuzz-unpack

# Longer fuzzing that keeps its corpus: `make fuzz-long SECONDS=3600 [TARGET=unpack]` fuzzes at
# the lowest priority, then merges the inputs that add coverage into fuzz/corpus/ (song) or
# fuzz/corpus-unpack/ (decoder), to be committed.
SECONDS ?= 600
TARGET ?= song
fuzz-long: fuzz-build
	@if [ "$(TARGET)" = song ]; then \
		fuzz/fuzz-long build-fuzz/fuzz/fuzz-song fuzz/corpus build-fuzz/long-song $(SECONDS) fuzz/song.dict; \
	elif [ "$(TARGET)" = unpack ]; then \
		fuzz/fuzz-long build-fuzz/fuzz/fuzz-unpack fuzz/corpus-unpack build-fuzz/long-unpack $(SECONDS); \
	else echo "TARGET is song or unpack"; exit 2; fi

# Every planted fault of tests/mutants/faults, each in turn in a scratch copy of the tree with its
# own build folder (build-mutants/, kept between runs): the suite must catch every one.
test-mutants: deps
	@tests/mutants/run
