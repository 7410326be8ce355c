# Set-up and checks on a fresh Debian 12 machine:
#   make demo    install what is missing, build, and run Quarrow's main job
#   make check   install what is missing, build, and run every test
#   make package build the Debian package (build/quarrow_*.deb)
#   make dist-windows  build the Windows download (build-win/Quarrow-*-win64.zip)
BUILD    ?= build
WINBUILD ?= build-win
JOBS     ?= 2

# Debian packages the build, the tests and the demo need.
PACKAGES = cmake make g++ pkg-config googletest libgtest-dev libgmock-dev \
           libfltk1.3-dev libssl-dev libgmime-3.0-dev openssl \
           dovecot-pop3d xvfb xauth xdotool imagemagick x11-utils \
           locales g++-mingw-w64-x86-64-posix wine64 fonts-wine \
           dpkg-dev groff-base meson ninja-build libz-mingw-w64-dev \
           autoconf automake libtool gtk-doc-tools

.PHONY: all deps build build-windows check check-native check-windows demo package clean

all: build

deps:
	@scripts/install-deps.sh $(PACKAGES)

build: deps
	cmake -S . -B $(BUILD) -DQUARROW_WERROR=ON
	cmake --build $(BUILD) -j$(JOBS)

# Static GMime and its dependencies for Windows come from a cache outside
# the checkout (built the first time; see scripts/build-windows-deps.sh).
build-windows: deps
	@if [ -f cmake/mingw-w64.cmake ]; then \
	  windeps=$$(JOBS=$(JOBS) scripts/build-windows-deps.sh) && \
	  windeps=$$(echo "$$windeps" | tail -n 1) && \
	  cmake -S . -B $(WINBUILD) -DQUARROW_WERROR=ON \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
	    -DQUARROW_WIN_DEPS="$$windeps" && \
	  cmake --build $(WINBUILD) -j$(JOBS); \
	else echo "The Windows build is not set up yet."; fi

check: check-native check-windows

check-native: build
	QUARROW_REQUIRE_DOVECOT=1 ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

check-windows: build-windows
	@if [ -d $(WINBUILD) ]; then \
	  ctest --test-dir $(WINBUILD) --output-on-failure; fi

package: build
	cmake --build $(BUILD) --target package

# The Windows download: $(WINBUILD)/Quarrow-<version>-win64.zip.
dist-windows: build-windows
	cd $(WINBUILD) && cpack -G ZIP

demo: build
	@if [ -x scripts/demo.sh ]; then scripts/demo.sh $(BUILD); \
	else echo "Quarrow cannot run on this system yet: its Linux layer is still being built."; fi

# The Windows dependencies' cache stays.
clean:
	rm -rf $(BUILD) $(WINBUILD)
