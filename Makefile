# Set-up, build and test on a Debian machine. `make test` and `make run` install
# whatever Debian packages are missing, so a fresh machine needs nothing else.

PACKAGES := cmake g++ make libgtest-dev qt6-base-dev libqcustomplot-dev libjpeg-dev \
            locales fonts-dejavu-core fonts-dejavu-extra xvfb xauth xdotool x11-utils \
            qt6-translations-l10n poppler-utils libreoffice-calc openbox
BUILD    := build
JOBS     := $(shell nproc)
SUDO     := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

PROGRAMS := Tazo6Dalvinter Dalvinter

.PHONY: deps locale configure build programs test run screenshots format clean

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi
	@$(MAKE) --no-print-directory locale

# The number conversions are tested under a comma-decimal locale.
locale:
	@locale -a 2>/dev/null | grep -qi '^pl_PL\.utf-\?8$$' || \
	  { echo "generating pl_PL.UTF-8"; $(SUDO) localedef -i pl_PL -f UTF-8 pl_PL.UTF-8; }

configure: deps
	@[ -f $(BUILD)/CMakeCache.txt ] || cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The main program and the viewer, without the tests.
programs: configure
	cmake --build $(BUILD) -j $(JOBS) --target $(PROGRAMS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 120

# Starts the main program with run/ as its start folder ("settings.suap" and the other
# files it writes land there). It needs a display; without one Qt would only abort.
run: programs
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "make run: no display (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2; \
	  echo "Start it from a desktop session, or on a virtual one: xvfb-run -a make run" >&2; \
	  exit 1; \
	fi
	mkdir -p run
	cd run && $(abspath $(BUILD))/mainwindow/Tazo6Dalvinter

# PNGs of the main window, the settings dialog and the viewer, rendered under Xvfb.
screenshots: build
	mkdir -p $(BUILD)/screenshots
	xvfb-run -a -s "-screen 0 1600x1000x24" env QT_QPA_PLATFORM=xcb \
	  $(BUILD)/tests/screenshots $(BUILD)/screenshots
	xvfb-run -a -s "-screen 0 1600x1000x24" env QT_QPA_PLATFORM=xcb \
	  $(BUILD)/tests/viewer_screenshots $(BUILD)/screenshots

# Formats every C++ file git knows with the committed .clang-format.
format:
	@command -v clang-format >/dev/null 2>&1 || { $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends clang-format; }
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
