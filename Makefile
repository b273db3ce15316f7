# Entry points on a fresh Debian machine:
#   make test   installs what is missing, builds both presets and runs every test
#   make demo   runs the setup on a sample distribution under Wine
#   make dist PAYLOAD=<folder of the game's files> [DIST=<out folder>]
#   make fuzz [FUZZ_SECONDS=600]   a longer fuzzing run that refreshes the corpus
#   make bench  the install benchmark under Wine
.PHONY: deps host win32 fuzzers test demo dist fuzz bench clean

DIST ?= build/dist

deps:
	@scripts/install-deps.sh

host: deps
	cmake --preset host
	cmake --build --preset host

win32: deps
	cmake --preset win32
	cmake --build --preset win32

fuzzers: deps
	cmake --preset fuzz
	cmake --build --preset fuzz

test: host win32 fuzzers
	ctest --preset host
	ctest --preset win32
	ctest --preset fuzz

FUZZ_SECONDS ?= 600
fuzz: fuzzers
	scripts/fuzz.sh build/fuzz $(FUZZ_SECONDS)

demo: win32
	scripts/demo.sh build/win32

dist: win32
	@test -n "$(PAYLOAD)" || { echo "usage: make dist PAYLOAD=<folder of the game's files>" >&2; exit 1; }
	scripts/dist.sh "$(PAYLOAD)" "$(DIST)" build/win32

bench: win32
	scripts/bench.sh build/win32

clean:
	rm -rf build
