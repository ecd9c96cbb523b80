# Front door of the build: every target installs what it lacks, configures and builds.
BUILD_DIR ?= build
ASAN_DIR ?= build-asan
BENCH_DIR ?= build-release
FUZZ_DIR ?= build-fuzz
LINT_DIR ?= build-lint
LINT_FILES ?= $(CURDIR)/src/
TSAN_DIR ?= build-tsan
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc)
ARGS ?=

.PHONY: all deps build run install test bench test-asan test-tsan fuzz lint format clean

all: build

deps:
	@scripts/install-deps.sh build

$(BUILD_DIR)/build.ninja: | deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Without ARGS: the desktop program when there is a display to show it on, otherwise the command
# line's help. With ARGS, the command line runs them (make run ARGS="recipe list").
run: build
	@if [ -n "$(ARGS)" ]; then \
	  ./$(BUILD_DIR)/bin/miravel $(ARGS); \
	elif [ -n "$$DISPLAY" ] || [ -n "$$WAYLAND_DISPLAY" ]; then \
	  ./$(BUILD_DIR)/bin/miravel-desktop; \
	else \
	  echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set), so miravel-desktop cannot start."; \
	  echo "The command line works without one (make run ARGS=\"recipe list\"):"; echo; \
	  ./$(BUILD_DIR)/bin/miravel --help; \
	fi

PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

test: build
	scripts/with-test-postgres.sh ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(ASAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMIRAVEL_SANITIZE=ON
	cmake --build $(ASAN_DIR) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN_DIR) --output-on-failure -j $(JOBS)

# The store, model, library and sync tests under ThreadSanitizer, which cannot share a build
# with AddressSanitizer, hence a build directory of its own; tests/tsan.supp says what is
# suppressed and why. The sync tests run the engine's thread against the server's in the same
# process. About 15 minutes to build and 4 to run here, with JOBS=2.
TSAN_TESTS = tests_store tests_model tests_library tests_sync
test-tsan: deps
	cmake -S . -B $(TSAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMIRAVEL_TSAN=ON
	cmake --build $(TSAN_DIR) -j $(JOBS) --target $(TSAN_TESTS)
	@cd $(TSAN_DIR)/tests && for t in $(TSAN_TESTS); do \
	  echo "== $$t"; \
	  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp" \
	    ../bin/$$t || exit 1; \
	done

bench: deps
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BENCH_DIR) -j $(JOBS)
	@for b in $(BENCH_DIR)/bin/bench_*; do echo "== $$b"; $$b; done

fuzz:
	@scripts/install-deps.sh build fuzz
	CC=clang-19 CXX=clang++-19 cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIRAVEL_FUZZ=ON
	cmake --build $(FUZZ_DIR) -j $(JOBS)
	@for f in $(FUZZ_DIR)/bin/fuzz_*; do \
	  name=$$(basename $$f); mkdir -p $(FUZZ_DIR)/corpus/$$name; \
	  echo "== $$name for $(FUZZ_SECONDS)s"; \
	  $$f -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 $(FUZZ_DIR)/corpus/$$name fuzz/seeds/$$name || exit 1; \
	done

# clang-tidy 19 (14 cannot see libstdc++ 12's std::expected) with .clang-tidy over every
# source file of src/ and the headers they include; any finding fails the target, which ends
# with the count per check (the whole report: $(LINT_DIR)/clang-tidy.log). Configuring is
# enough: it lays the include roots and compile_commands.json. LINT_FILES narrows the run to
# the files matching a regular expression, e.g. LINT_FILES=src/lib/.
# A whole run took 27 minutes of wall time here (2 shared cores, JOBS=2): too long for .ci/run.
lint:
	@scripts/install-deps.sh build lint
	cmake -S . -B $(LINT_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug
	scripts/lint.sh $(LINT_DIR) $(JOBS) '$(LINT_FILES)'

format:
	clang-format -i $$(git ls-files '*.h' '*.cpp')

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(TSAN_DIR) $(BENCH_DIR) $(FUZZ_DIR) $(LINT_DIR)

# Ingredient-line quality against the labelled lines of ../shared/corpus (ARGS="--misses 10
# --top-unknown 50" lists what to improve), and speed beside the parse-ingredient npm package.
.PHONY: evaluate-ingredients bench-ingredients evaluate-pages bench-pages

evaluate-ingredients: deps
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BENCH_DIR) -j $(JOBS) --target evaluate_ingredients
	./$(BENCH_DIR)/bin/evaluate_ingredients $(ARGS)

bench-ingredients: deps
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BENCH_DIR) -j $(JOBS) --target evaluate_ingredients bench_ingredient_parser
	./$(BENCH_DIR)/bin/bench_ingredient_parser
	bench/compare_ingredient_speed.sh $(BENCH_DIR)

# Recipe extraction from the saved web pages of ../shared/corpus/webpages, scored by the shared
# scorer (ARGS=--fails shows each wrong field), and speed beside the recipe-scrapers npm package
# (installed outside the repository, see bench/compare_page_speed.sh).
PAGES_DIR ?= ../shared/corpus/webpages
evaluate-pages: deps
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BENCH_DIR) -j $(JOBS) --target evaluate_pages
	rm -rf $(BENCH_DIR)/page-predictions
	./$(BENCH_DIR)/bin/evaluate_pages $(PAGES_DIR) $(BENCH_DIR)/page-predictions
	python3 ../shared/bench/webeval/compare.py $(PAGES_DIR) $(BENCH_DIR)/page-predictions --quiet $(ARGS)

bench-pages: deps
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BENCH_DIR) -j $(JOBS) --target evaluate_pages
	bench/compare_page_speed.sh $(BENCH_DIR)
