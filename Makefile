# make run  - install what is needed, build, and start Trackfolio
# make test - install what is needed, build, and run every test (plus sanitizer and fuzz runs)
BUILD      ?= build
BUILD_ASAN ?= build-asan
BUILD_FUZZ ?= build-fuzz
# Seconds each fuzz target runs in `make fuzz`, and in the short run `make test` makes.
FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 5
JOBS       ?= $(shell nproc)
# Compile through ccache when it is there (install-deps installs it). Paths are hashed relative
# to the checkout, so a clone in another folder reuses the cache of this one.
LAUNCHER    = $(if $(shell command -v ccache),-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export CCACHE_BASEDIR ?= $(CURDIR)
export CCACHE_NOHASHDIR ?= 1

.PHONY: all deps build install run test test-e2e test-asan fuzz-build fuzz fuzz-smoke check-format \
        format bench clean

all: build

deps:
	./scripts/install-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DTRACKFOLIO_WERROR=ON $(LAUNCHER)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# Installs the programs, the menu service's D-Bus activation file and the plugins of the file
# managers present (Nautilus and Nemo load only from their fixed system folders).
install: build
	cmake --install $(BUILD)

# Says which file managers got the menu and opens one in the home folder; without a display
# it prints the menu a right-click on README.md would show.
run: install
	TRACKFOLIO_BINDIR=$$(cmake -L -N $(BUILD) | sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p')/bin \
	    ./scripts/run-trackfolio

test: build check-format
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) test-e2e
	$(MAKE) test-asan
	$(MAKE) fuzz-smoke

# Real Nautilus, Nemo and Dolphin under Xvfb on a private session bus, each in a throwaway
# home; screenshots of every menu are kept in $(BUILD)/e2e-artifacts.
test-e2e: build
	cmake --install $(BUILD) --component plugins
	for fm in nautilus nemo dolphin; do \
	    TRACKFOLIO_BUILD_DIR=$(CURDIR)/$(BUILD) \
	    TRACKFOLIO_E2E_ARTIFACTS=$(CURDIR)/$(BUILD)/e2e-artifacts/$$fm \
	    tests/e2e/$$fm.sh || exit 1; \
	done

# The engine's tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	cmake -S . -B $(BUILD_ASAN) -G Ninja -DTRACKFOLIO_WERROR=ON -DTRACKFOLIO_SANITIZE=ON $(LAUNCHER) \
	      -DTRACKFOLIO_BENCH=OFF -DTRACKFOLIO_SERVICE=OFF -DTRACKFOLIO_PLUGINS=OFF
	cmake --build $(BUILD_ASAN) -j $(JOBS) --target engine-tests
	cd $(BUILD_ASAN) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/tests/support/lsan.supp:fast_unwind_on_malloc=0 \
	    ctest --output-on-failure -j $(JOBS)

# The readers of outside input under libFuzzer with AddressSanitizer and UndefinedBehavior-
# Sanitizer (docs/fuzzing.md). Clang builds only the fuzz targets and the libraries they feed.
fuzz-build: deps
	cmake -S . -B $(BUILD_FUZZ) -G Ninja -DTRACKFOLIO_FUZZ=ON -DCMAKE_C_COMPILER=clang \
	      -DCMAKE_CXX_COMPILER=clang++ $(LAUNCHER)
	cmake --build $(BUILD_FUZZ) -j $(JOBS) --target fuzz-targets

fuzz: fuzz-build
	tests/fuzz/run $(BUILD_FUZZ) $(FUZZ_SECONDS)

fuzz-smoke: fuzz-build
	tests/fuzz/run $(BUILD_FUZZ) $(FUZZ_SMOKE_SECONDS)

check-format: $(BUILD)/build.ninja
	cmake --build $(BUILD) --target check-format

format: $(BUILD)/build.ninja
	cmake --build $(BUILD) --target format

bench: build
	./bench/run

# Every page of the settings window, its rename sheet and add-back window, the service's
# windows (file information included) and the pop-up menu as PNG files in
# $(BUILD)/screenshots, drawn under Xvfb from a throwaway store.
.PHONY: screenshots
screenshots: build
	./scripts/screenshots $(BUILD)

# Translations (docs/translating.md): the template of every text, catalogues brought up to date
# with it, and the checks `make test` runs as well.
.PHONY: pot update-po check-po
pot: deps
	./scripts/l10n pot

update-po: deps
	./scripts/l10n update-po

check-po: deps
	./scripts/l10n check

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_FUZZ)
