# make run  - install what is needed, build, and start Trackfolio
# make test - install what is needed, build, and run every test (plus a sanitizer run)
BUILD      ?= build
BUILD_ASAN ?= build-asan
JOBS       ?= $(shell nproc)

.PHONY: all deps build run test test-asan check-format format bench clean

all: build

deps:
	./scripts/install-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DTRACKFOLIO_WERROR=ON

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# Until the windows exist, starting Trackfolio means preparing the store and showing the
# menu catalogue the file-manager menu will be built from.
run: build
	$(BUILD)/src/app/trackfolio setup
	$(BUILD)/src/extension/trackfolio-sync catalogue

test: build check-format
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) test-asan

# The engine's tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	cmake -S . -B $(BUILD_ASAN) -G Ninja -DTRACKFOLIO_WERROR=ON -DTRACKFOLIO_SANITIZE=ON \
	      -DTRACKFOLIO_BENCH=OFF -DTRACKFOLIO_SERVICE=OFF -DTRACKFOLIO_PLUGINS=OFF
	cmake --build $(BUILD_ASAN) -j $(JOBS) --target engine-tests
	cd $(BUILD_ASAN) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/tests/support/lsan.supp:fast_unwind_on_malloc=0 \
	    ctest --output-on-failure -j $(JOBS)

check-format: $(BUILD)/build.ninja
	cmake --build $(BUILD) --target check-format

format: $(BUILD)/build.ninja
	cmake --build $(BUILD) --target format

bench: build
	./bench/run

clean:
	rm -rf $(BUILD) $(BUILD_ASAN)
