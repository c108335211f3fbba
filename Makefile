# Velm: top-level commands. `make run` prints the sample on the built-in PDF
# printer; `make check` builds and runs every test. Both install what they need.
BUILD ?= build
JOBS ?= $(shell nproc)
SUDO := $(if $(filter 0,$(shell id -u)),,sudo)
APT := DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends

RUN_PACKAGES := build-essential cmake ninja-build pkg-config qt6-base-dev \
  libqt6printsupport6 qt6-qpa-plugins fonts-liberation2 fontconfig libfontconfig-dev libcups2-dev \
  libharfbuzz-dev libicu-dev libdeflate-dev fonts-dejavu-core fonts-noto-ui-core fonts-noto-core \
  fonts-wqy-microhei libsource-highlight-dev libpcre2-dev libgumbo-dev
# What dpkg-buildpackage needs besides the build tools above.
PACKAGE_PACKAGES := debhelper dpkg-dev fakeroot lintian
TEST_PACKAGES := $(RUN_PACKAGES) libgtest-dev libgmock-dev poppler-utils qpdf cups \
  cups-client cups-bsd printer-driver-cups-pdf emf2svg libreoffice-draw-nogui libreoffice-writer-nogui \
  xvfb xauth openbox xdotool imagemagick time ccache fonts-urw-base35 libharfbuzz-bin \
  cups-ipp-utils ghostscript python3.11-doc w3m dbus-daemon weston qt6-wayland $(PACKAGE_PACKAGES)
BENCH_PACKAGES := $(TEST_PACKAGES) libbenchmark-dev valgrind hyperfine \
  enscript a2ps ghostscript cups-filters

.PHONY: all build run check test deps-run deps-test deps-bench bench filter install uninstall clean cups \
  deps-fuzz fuzz check-sanitize check-package package

all: build

$(BUILD)/.deps-run:
	@mkdir -p $(BUILD)
	$(SUDO) apt-get update -qq
	$(APT) $(RUN_PACKAGES)
	@touch $@
$(BUILD)/.deps-test: $(BUILD)/.deps-run
	$(APT) $(TEST_PACKAGES)
	@touch $@
deps-run: $(BUILD)/.deps-run
deps-test: $(BUILD)/.deps-test
deps-bench: deps-test
	$(APT) $(BENCH_PACKAGES)

# Running needs only velm, built without the tests and their packages.
build: deps-run
	cmake -S . -B $(BUILD) -G Ninja -DVELM_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS) --target velm

# The main job: print the sample file on the built-in PDF printer.
run: build
	$(BUILD)/velm --printer="Velm PDF" samples/sample.txt

# Every test, against a real CUPS server with a PDF queue. VELM_REQUIRE_ALL
# fails a test that would skip for a missing tool or service.
check test: deps-test cups
	cmake -S . -B $(BUILD) -G Ninja -DVELM_TESTS=ON
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && VELM_REQUIRE_ALL=1 QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	$(MAKE) check-sanitize
	$(MAKE) check-package

# The Debian package built from a copy of the tree, its files listed and
# checked, and lintian run on it (a whole release build: some minutes).
check-package: deps-test
	tests/package.sh

# The Debian package itself, as the README says: ../velm_VERSION_amd64.deb.
package: deps-run
	$(APT) $(PACKAGE_PACKAGES)
	dpkg-buildpackage -us -uc -b

# The same tests built with AddressSanitizer and UndefinedBehaviorSanitizer:
# the first fault stops its test with a stack. cupsd keeps running the
# filter of the normal build (installed by `cups`); the tests that start
# velm or velmtopdf themselves start the sanitized ones.
SANITIZE_BUILD ?= build-sanitize
# GCC's flow warnings misfire on the instrumented standard library (std::regex).
SANITIZE_FLAGS := -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined \
  -Wno-maybe-uninitialized -Wno-restrict
SANITIZE_ENV := ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1 \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitize/lsan.supp:print_suppressions=0
check-sanitize: deps-test cups
	cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DVELM_TESTS=ON -DCMAKE_CXX_FLAGS="$(SANITIZE_FLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && $(SANITIZE_ENV) VELM_REQUIRE_ALL=1 QT_QPA_PLATFORM=offscreen \
	  ctest --output-on-failure -j $(JOBS)

# libFuzzer harnesses, one per parser, built with clang (see README).
FUZZ_BUILD ?= build-fuzz
FUZZ_PACKAGES := clang libclang-rt-14-dev
deps-fuzz: deps-run
	$(APT) $(FUZZ_PACKAGES)
fuzz: deps-fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DVELM_TESTS=OFF -DVELM_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target velm_fuzzers

# The CUPS filter, built beside velm for the test server and for install.
filter: build
	cmake --build $(BUILD) -j $(JOBS) --target velmtopdf

cups: deps-test filter
	tests/cups-setup.sh $(BUILD)

bench: deps-bench
	cmake -S . -B $(BUILD) -G Ninja -DVELM_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS)
	bench/compare $(BUILD)
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/hot_paths
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/pdf_canvas_bench
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/preview_paint
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/monitor_tick
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/shaper_bench

# The CUPS filter and its rule go into cupsd's own folders; the server
# reloads its rules (uninstalling restores the previous text chain).
RELOAD_CUPS := systemctl try-reload-or-restart cups 2>/dev/null || \
  { [ -f /run/cups/cupsd.pid ] && kill -HUP $$(cat /run/cups/cupsd.pid); } || true
install: filter
	$(SUDO) cmake --install $(BUILD)
	$(SUDO) sh -c '$(RELOAD_CUPS)'
uninstall:
	[ -f $(BUILD)/install_manifest.txt ] && $(SUDO) xargs -r rm -f < $(BUILD)/install_manifest.txt
	$(SUDO) sh -c '$(RELOAD_CUPS)'

clean:
	rm -rf $(BUILD)
