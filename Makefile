# Entry points on a fresh Debian machine:
#   make test   installs what is missing, builds both presets and runs every test
#   make demo   runs the setup on a sample distribution under Wine
#   make dist PAYLOAD=<folder of the game's files> [DIST=<out folder>]
.PHONY: deps host win32 test demo dist clean

DIST ?= build/dist

deps:
	@scripts/install-deps.sh

host: deps
	cmake --preset host
	cmake --build --preset host

win32: deps
	cmake --preset win32
	cmake --build --preset win32

test: host win32
	ctest --preset host
	ctest --preset win32

demo: win32
	scripts/demo.sh build/win32

dist: win32
	@test -n "$(PAYLOAD)" || { echo "usage: make dist PAYLOAD=<folder of the game's files>" >&2; exit 1; }
	scripts/dist.sh "$(PAYLOAD)" "$(DIST)" build/win32

clean:
	rm -rf build
