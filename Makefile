# The README's commands. Each installs missing Debian packages first.
BUILD    ?= build
ASAN     ?= build-asan
FUZZ     ?= build-fuzz
JOBS     ?= $(shell nproc)
FUZZ_SECONDS ?= 20
CMAKE_FLAGS ?=
# The project's own builds treat warnings as errors; configure by hand to leave that off.
WERROR   ?= ON

.PHONY: all deps build run test test-asan test-asan-core test-asan-editor ci-checks deb test-deb fuzz bench bench-cli \
        bench-journal bench-edit format clean

all: build

deps:
	@./scripts/deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOK_WERROR=$(WERROR) $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

# Builds and starts the editor on the bundled sample library.
run: build
	@if [ -z "$$DISPLAY$$WAYLAND_DISPLAY$$QT_QPA_PLATFORM" ]; then \
	    echo "make run: no display to show the editor on (DISPLAY is not set)."; \
	    echo "Run it under a virtual X server instead: xvfb-run -a make run"; exit 1; fi
	$(BUILD)/shell/ortix-kelvane $(BUILD)/examples/sample.qpk

# Builds everything, checks that each module includes only the modules it may
# (scripts/check-deps.sh), runs every test, then runs each fuzz target for a short, bounded time.
test: build
	./scripts/check-deps.sh --self-test && ./scripts/check-deps.sh
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory fuzz

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DOK_SANITIZE=ON -DOK_WERROR=$(WERROR) -DOK_BUILD_BENCH=OFF >/dev/null
	cmake --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && QT_QPA_PLATFORM=offscreen LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	    ctest --output-on-failure -j $(JOBS)

# The sanitizer tests that fit in CI: everything without windows (toolbox core, model, text
# format, qpk), built in build-asan-core/.
test-asan-core: deps
	cmake -S . -B $(ASAN)-core -DCMAKE_BUILD_TYPE=Debug -DOK_SANITIZE=ON -DOK_WERROR=$(WERROR) \
	    -DOK_BUILD_GUI=OFF -DOK_BUILD_BENCH=OFF >/dev/null
	cmake --build $(ASAN)-core -j $(JOBS)
	cd $(ASAN)-core && ctest --output-on-failure -j $(JOBS)

# The package editor's tests under the sanitizers, the random-input property test among them:
# only their programs are built in the sanitizer build of test-asan.
EDITOR_TESTS = editor_property_test package_editor_test item_list_test field_editor_test
test-asan-editor: deps
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DOK_SANITIZE=ON -DOK_WERROR=$(WERROR) -DOK_BUILD_BENCH=OFF >/dev/null
	cmake --build $(ASAN) -j $(JOBS) --target $(EDITOR_TESTS)
	cd $(ASAN) && QT_QPA_PLATFORM=offscreen LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	    ctest --output-on-failure -j $(JOBS) -R '^(EditorProperty|PackageEditor|ItemList|FieldEditor)Test\.'

# What CI checks beside the tests: the formatting of the files changed since FORMAT_BASE (default:
# the parent commit), the sanitizer tests without windows and those of the package editor.
ci-checks:
	./scripts/check-format.sh $(FORMAT_BASE)
	$(MAKE) --no-print-directory test-asan-core
	$(MAKE) --no-print-directory test-asan-editor

# The Debian package of both programs, made by CPack from the build (cmake/Packaging.cmake):
# $(BUILD)/ortix-kelvane_VERSION_ARCH.deb.
deb: build
	@./scripts/deps.sh deb
	rm -f $(BUILD)/ortix-kelvane_*.deb
	cd $(BUILD) && cpack -G DEB

# lintian on the .deb, then, as root only, installs it on this machine, checks it as the desktop
# sees it and purges it again (scripts/test-deb.sh). CI runs it on its throwaway machine.
test-deb: deb
	./scripts/test-deb.sh $(BUILD)/ortix-kelvane_*.deb

# libFuzzer targets under ASan+UBSan, seeded from tests/data, FUZZ_SECONDS each.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOK_SANITIZE=ON \
	    -DOK_BUILD_FUZZ=ON -DOK_BUILD_GUI=OFF -DOK_BUILD_TESTS=OFF -DOK_BUILD_BENCH=OFF >/dev/null
	cmake --build $(FUZZ) -j $(JOBS)
	./scripts/run-fuzz.sh $(FUZZ) $(FUZZ_SECONDS)

bench: build
	./scripts/run-bench.sh $(BUILD)

# qpk timed as whole processes against cp, cat and sqlite3 on a generated library of
# BENCH_PACKAGES packages, the median of BENCH_RUNS runs each (docs/PERFORMANCE.md).
BENCH_PACKAGES ?= 1000000
BENCH_RUNS ?= 7
bench-cli: build
	./scripts/bench-cli.sh $(BUILD) $(BENCH_PACKAGES) $(BENCH_RUNS)

# A save and a close with compaction timed as whole processes beside sqlite3 with its rollback
# journal, on the same rows (docs/PERFORMANCE.md).
bench-journal: build
	./scripts/bench-journal.sh $(BUILD) $(BENCH_PACKAGES) $(BENCH_RUNS)

# qpk set on one package of a large library, timed as a whole process beside qpk list and
# sqlite3 updating one row in its rollback-journal mode (docs/PERFORMANCE.md).
bench-edit: build
	./scripts/bench-edit.sh $(BUILD) $(BENCH_PACKAGES) $(BENCH_RUNS)

format:
	find shell model textfmt listwin editor toolbox resources cli tests bench fuzz \
	    -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN) $(ASAN)-core $(FUZZ)
