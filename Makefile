# Set-up and checks on a fresh Debian 12 machine:
#   make demo    install what is missing, build, and run Quarrow's main job
#   make check   install what is missing, build, and run every test
#   make package build the Debian package (build/quarrow_*.deb)
#   make dist-windows  build the Windows download (build-win/Quarrow-*-win64.zip
#                      and .msi; signed with SIGN_PFX=file.p12 SIGN_PASS=...)
#   make demo-windows  run the demo's job with the programs of that download, under Wine
#   make fuzz    fuzz the mail tool's parsers for longer (FUZZ_LONG_SECONDS each)
BUILD     ?= build
WINBUILD  ?= build-win
FUZZBUILD ?= build-fuzz
JOBS      ?= 2
# Seconds each fuzz target runs in `make check` and in `make fuzz`.
FUZZ_SECONDS      ?= 20
FUZZ_LONG_SECONDS ?= 600

# Debian packages the build, the tests and the demo need.
PACKAGES = cmake make g++ pkg-config googletest libgtest-dev libgmock-dev \
           libfltk1.3-dev libssl-dev libgmime-3.0-dev openssl \
           dovecot-pop3d dovecot-imapd xvfb xauth xdotool imagemagick x11-utils \
           locales g++-mingw-w64-x86-64-posix wine64 fonts-wine \
           dpkg-dev groff-base meson ninja-build libz-mingw-w64-dev \
           autoconf automake libtool gtk-doc-tools clang libclang-rt-dev llvm \
           wixl msitools osslsigncode nlohmann-json3-dev libcurl4-openssl-dev nodejs \
           libsecret-1-dev dbus gnome-keyring

.PHONY: all deps build build-windows build-fuzz check check-native check-windows \
        check-fuzz fuzz demo demo-windows package dist-windows clean

all: build

deps:
	@scripts/install-deps.sh $(PACKAGES)
	@scripts/install-npm-deps.sh >/dev/null

# The native tests run the Windows download of $(WINBUILD) under Wine.
build: deps
	cmake -S . -B $(BUILD) -DQUARROW_WERROR=ON -DQUARROW_WINDOWS_BUILD=$(abspath $(WINBUILD))
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

# The mail tool built with clang, AddressSanitizer and UndefinedBehaviorSanitizer:
# its fuzz targets and the programs of its tests, nothing else.
build-fuzz: deps
	cmake -S . -B $(FUZZBUILD) -DQUARROW_WERROR=ON -DQUARROW_FUZZ=ON \
	  -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(FUZZBUILD) -j$(JOBS) --target sanitized_checks

check: check-native check-windows check-fuzz

# Some native tests run the Windows download under Wine: it is made first,
# and they fail rather than skip without it.
check-native: build dist-windows
	QUARROW_REQUIRE_DOVECOT=1 QUARROW_REQUIRE_WINE=1 \
	  ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

check-windows: build-windows
	@if [ -d $(WINBUILD) ]; then \
	  ctest --test-dir $(WINBUILD) --output-on-failure; fi

package: build
	cmake --build $(BUILD) --target package

# The Windows download: $(WINBUILD)/Quarrow-<version>-win64.zip and .msi.
# Given SIGN_PFX (a PKCS#12 file) and SIGN_PASS, and optionally
# SIGN_TIMESTAMP_URL, both programs and the installer are signed; the
# password reaches the script through the environment only, never a
# command line.
export SIGN_PFX SIGN_PASS SIGN_TIMESTAMP_URL
dist-windows: build-windows
	scripts/dist-windows.sh $(WINBUILD)

# Every test labelled "getmail" under the sanitizers, and each fuzz target for
# FUZZ_SECONDS; any sanitizer report, crash or leak fails.
check-fuzz: build-fuzz
	QUARROW_REQUIRE_DOVECOT=1 QUARROW_FUZZ_SECONDS=$(FUZZ_SECONDS) \
	  tests/fuzz/check-sanitized.sh $(FUZZBUILD) 'getmail|fuzz' -j$(JOBS)

fuzz: build-fuzz
	QUARROW_FUZZ_SECONDS=$(FUZZ_LONG_SECONDS) \
	  tests/fuzz/check-sanitized.sh $(FUZZBUILD) fuzz -j$(JOBS) \
	  --timeout $$(( $(FUZZ_LONG_SECONDS) + 600 ))

demo: build
	@if [ -x scripts/demo.sh ]; then scripts/demo.sh $(BUILD); \
	else echo "Quarrow cannot run on this system yet: its Linux layer is still being built."; fi

# The same job with Quarrow.exe and getmail.exe from the Windows download.
demo-windows: dist-windows
	scripts/demo.sh --windows $(WINBUILD)

# The Windows dependencies' cache stays.
clean:
	rm -rf $(BUILD) $(WINBUILD) $(FUZZBUILD)
