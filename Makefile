# The two entry points: `make run` shows the intro, `make test` runs every test.
# Both install whatever Debian packages are missing and build first.
BUILD ?= build

.PHONY: run test build

build:
	@scripts/install-deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j2

run: build
	@scripts/run-intro $(BUILD)/intro-port

test: build
	@cd $(BUILD) && ctest --output-on-failure -j2
