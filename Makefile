# The two commands that do all set-up on a fresh Debian 12 machine:
#   make run    install, build, generate assets, start the game
#   make test   install, build and run every test stage: the format check, the
#               normal build's CTest suite, the ASan+UBSan build's suite, the
#               socket and thread tests under TSan, 30 s of every libFuzzer
#               target, a 60 s soak of the sanitizer build, one session under
#               Valgrind, the music build's whole suite and the web build's
#               browser tests in headless chromium.
# `make -j test` is safe: each build folder is configured and built by one
# target only (build, asan-build, and the TSan, fuzz and music stages' own
# folders), and the stages that reuse a folder wait for its build.
MUSIC    ?= 0
BUILD    ?= build
ASAN     ?= build-asan
TSAN     ?= build-tsan
JOBS     ?= $(shell nproc)
# The scripts build with the same number of jobs.
export JOBS
WERROR   ?= ON
CMAKE_FLAGS = -G Ninja -DQUILLET_WERROR=$(WERROR)

ifeq ($(MUSIC),1)
  CMAKE_FLAGS += -DQUILLET_MUSIC=ON
else
  CMAKE_FLAGS += -DQUILLET_MUSIC=OFF
endif

.PHONY: web deps build run install package release format test test-format test-layers asan-build test-normal test-asan test-tsan test-fuzz test-soak test-valgrind test-music test-web web-serve bench fuzz soak screens clean

deps:
	@bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash scripts/run.sh $(BUILD)

# The program alone (no tests, no benchmarks) in its own build folder, for
# `make install` and `make package`.
RELEASE ?= build-release
PREFIX  ?= /usr/local
release: deps
	cmake -S . -B $(RELEASE) $(CMAKE_FLAGS) -DQUILLET_TESTS=OFF -DQUILLET_BENCH=OFF
	cmake --build $(RELEASE) -j $(JOBS)

# The browser build: build-web/ holds index.html, quillet.js, quillet.wasm and
# quillet.data, a folder that works on any static file server. Its pictures
# and sounds come from the native generator, built alone in its own folder;
# Debian's Emscripten finds its JavaScript parser through NODE_PATH. The page
# is optimised as the desktop program is (-O2) but carries no debug
# information, which would only make the download larger.
WEB        ?= build-web
WEB_ASSETS ?= build-web-assets
WEB_ENV     = NODE_PATH=/usr/share/nodejs
WEB_FLAGS   = -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE='-O2 -DNDEBUG' -DCMAKE_C_FLAGS_RELEASE='-O2 -DNDEBUG'
web: deps
	cmake -S . -B $(WEB_ASSETS) $(CMAKE_FLAGS) -DQUILLET_TESTS=OFF -DQUILLET_BENCH=OFF
	cmake --build $(WEB_ASSETS) -j $(JOBS) --target assets
	$(WEB_ENV) emcmake cmake -S . -B $(WEB) $(CMAKE_FLAGS) $(WEB_FLAGS) -DQUILLET_WEB_DATA=$(CURDIR)/$(WEB_ASSETS)/data
	$(WEB_ENV) cmake --build $(WEB) -j $(JOBS)

# Installs under $(PREFIX), staged below $(DESTDIR) when that is set.
install: release
	DESTDIR="$(DESTDIR)" cmake --install $(RELEASE) --prefix "$(PREFIX)" --strip

# The Debian package, with its dependencies worked out by dpkg-shlibdeps,
# written into $(RELEASE)/.
package: release
	cd $(RELEASE) && cpack -G DEB

# Every test of the normal build: the headless suites, the Xvfb tests (host
# window, pixel probe, end-to-end session without a sound device), the replay of
# every kept fuzz finding and seed.
test-normal: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 900

asan-build: deps
	cmake -S . -B $(ASAN) $(CMAKE_FLAGS) -DQUILLET_SANITIZE=ON -DQUILLET_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(ASAN) -j $(JOBS)

# The same suite under AddressSanitizer and UndefinedBehaviorSanitizer, but
# for the tests labelled nosan that hold keys for fixed wall-clock times.
test-asan: asan-build
	cd $(ASAN) && ASAN_OPTIONS=halt_on_error=1:detect_leaks=0 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) --timeout 900 -LE nosan

# ThreadSanitizer build of the tests that run code on worker threads only:
# tsan_tests builds exactly the programs whose tests are labelled tsan.
test-tsan: deps
	cmake -S . -B $(TSAN) $(CMAKE_FLAGS) -DQUILLET_TSAN=ON -DQUILLET_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(TSAN) -j $(JOBS) --target tsan_tests
	cd $(TSAN) && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS) --timeout 900 -L tsan

# The libFuzzer targets, each for FUZZ_SECONDS, in a clang build folder.
FUZZ_SECONDS ?= 300
FUZZ_BUILD   ?= build-fuzz
fuzz: deps
	bash scripts/fuzz.sh $(FUZZ_SECONDS) $(FUZZ_BUILD)

# CI's share of fuzzing: 30 seconds per target.
test-fuzz: deps
	bash scripts/fuzz.sh 30 $(FUZZ_BUILD)

# The sanitizer build played with random input: SOAK_SECONDS by hand, 60 in CI.
SOAK_SECONDS ?= 600
soak: deps
	bash scripts/soak.sh $(SOAK_SECONDS) $(ASAN)

test-soak: asan-build
	QUILLET_BUILT=1 bash scripts/soak.sh 60 $(ASAN)

# One short session of the program under Valgrind's memcheck.
test-valgrind: build
	QUILLET_BUILT=1 bash scripts/valgrind.sh $(BUILD)

# The same program with the music player switched on, in one build folder
# that both its test suite and its screenshots use. The later -DQUILLET_MUSIC
# wins over the one in CMAKE_FLAGS.
MUSIC_BUILD ?= build-music
MUSIC_CONFIGURE = cmake -S . -B $(MUSIC_BUILD) $(CMAKE_FLAGS) -DQUILLET_MUSIC=ON -DQUILLET_BENCH=OFF

test-music: deps
	$(MUSIC_CONFIGURE)
	cmake --build $(MUSIC_BUILD) -j $(JOBS)
	cd $(MUSIC_BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 900

# Every C and C++ source must match .clang-format, new files not yet committed
# included; `make format` rewrites them. A file deleted but not yet committed
# is left out.
SOURCES = $(wildcard $(shell git ls-files --cached --others --exclude-standard '*.c' '*.cpp' '*.h'))
format:
	clang-format -i $(SOURCES)

test-format: deps
	clang-format --dry-run -Werror $(SOURCES)

# No include reaches from a lower layer up to a higher one.
test-layers:
	bash scripts/check-layers.sh

# The browser stage: the web build in headless chromium through playwright-core
# (installed from the lockfile), the native build giving the title menu's
# reference screenshot.
test-web: build web
	bash scripts/test-web.sh $(BUILD) $(WEB)

# Serves the web build on 127.0.0.1 and prints the address; PORT 0 takes any free port.
PORT ?= 8080
web-serve: web
	node scripts/web-server.js $(WEB) $(PORT)

test: test-format test-layers test-normal test-asan test-tsan test-fuzz test-soak test-valgrind test-music test-web

bench: deps web
	QUILLET_BENCH_DEPS=1 bash scripts/install-deps.sh
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)
	WEB_BUILD=$(WEB) bash scripts/bench.sh $(BUILD)

# A screenshot of every screen, played under Xvfb, into $(BUILD)/screens/,
# then the title, play and pause screens of the music build.
screens: build
	bash scripts/screens.sh $(BUILD)
	$(MUSIC_CONFIGURE)
	cmake --build $(MUSIC_BUILD) --target quillet -j $(JOBS)
	bash scripts/screens-music.sh $(MUSIC_BUILD) $(BUILD)/screens

clean:
	rm -rf $(BUILD) $(RELEASE) $(ASAN) $(TSAN) $(MUSIC_BUILD) $(FUZZ_BUILD) $(WEB) $(WEB_ASSETS)
