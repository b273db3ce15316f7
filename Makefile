# Entry points on a fresh Debian machine:
#   make test   installs what is missing, builds the three presets and runs every test
#   make demo   runs the setup on a sample distribution under Wine
#   make dist PAYLOAD=<folder of the game's files> [DIST=<out folder>]
#             [SIGN_CERT=<file.pfx> SIGN_PASSWORD_FILE=<file> [SIGN_TIMESTAMP_URL=<url>]]
#   make fuzz [FUZZ_SECONDS=600]   a longer fuzzing run that refreshes the corpus
#   make sweep  every pair of faults over every layout (make test runs a sample)
#   make bench  the install benchmark under Wine
.PHONY: deps host win32 fuzzers test demo dist fuzz sweep bench clean

# Tools are called by the paths their Debian packages install; whatever else stands
# first on the caller's PATH is kept out of the build and the tests.
export PATH := /usr/sbin:/usr/bin:/sbin:/bin
CMAKE := /usr/bin/cmake
CTEST := /usr/bin/ctest

DIST ?= build/dist

deps:
	@scripts/install-deps.sh

host: deps
	$(CMAKE) --preset host
	$(CMAKE) --build --preset host

win32: deps
	$(CMAKE) --preset win32
	$(CMAKE) --build --preset win32

fuzzers: deps
	$(CMAKE) --preset fuzz
	$(CMAKE) --build --preset fuzz

test: host win32 fuzzers
	$(CTEST) --preset host
	$(CTEST) --preset win32
	$(CTEST) --preset fuzz

FUZZ_SECONDS ?= 600
fuzz: fuzzers
	scripts/fuzz.sh build/fuzz $(FUZZ_SECONDS)

sweep: host
	ZOPPEL_ALL_PAIRS=1 build/host/tests/engine_tests --gtest_filter='FailureInjection.EveryPair*'

demo: win32
	scripts/demo.sh build/win32

dist: win32
	@test -n "$(PAYLOAD)" || { echo "usage: make dist PAYLOAD=<folder of the game's files>" >&2; exit 1; }
	SIGN_CERT="$(SIGN_CERT)" SIGN_PASSWORD_FILE="$(SIGN_PASSWORD_FILE)" SIGN_TIMESTAMP_URL="$(SIGN_TIMESTAMP_URL)" \
	  /usr/bin/python3 scripts/dist.py "$(PAYLOAD)" "$(DIST)" build/win32

bench: win32
	scripts/bench.sh build/win32

clean:
	rm -rf build
