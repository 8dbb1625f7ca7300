# SPDX-License-Identifier: MIT
# make run   installs what building and running needs, builds the three
#            programs, and starts Pictoria
# make test  installs what the tests need too, builds everything, and runs
#            every test
# make lint  clang-format (check only) and clang-tidy with the project's settings
# make bench builds the converter and bench_whole_runs, and runs it: whole
#            conversions against decoding the picture alone
BUILD ?= build
JOBS ?= $(shell nproc)
# CI builds (CI is set) treat every compiler warning as an error.
WERROR ?= $(if $(CI),ON,OFF)
CMAKE_OPTIONS = -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPICTORIA_WERROR=$(WERROR)
PROGRAMS = Pictoria Lumenpane pictoria-convert

.PHONY: run test sanitize lint bench build build-programs deps deps-run clean

deps-run:
	@APT_LOG=$(BUILD)/apt.log sh tools/install-deps.sh run

deps:
	@APT_LOG=$(BUILD)/apt.log sh tools/install-deps.sh test

# A build directory make run creates leaves out the tests and benchmarks, so
# it needs no GoogleTest; one that has them keeps them.
build-programs: deps-run
	@TARGETS="$(PROGRAMS)" sh tools/build.sh $(BUILD) $(JOBS) $(CMAKE_OPTIONS) \
	  $(if $(wildcard $(BUILD)/CMakeCache.txt),,-DBUILD_TESTING=OFF)

build: deps
	@sh tools/build.sh $(BUILD) $(JOBS) $(CMAKE_OPTIONS) -DBUILD_TESTING=ON

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The suite under AddressSanitizer and UndefinedBehaviorSanitizer, then every
# fuzz target for a bounded number of inputs.
sanitize:
	@sh tools/sanitize-and-fuzz.sh

lint:
	@sh tools/lint.sh

bench:
	@APT_LOG=$(BUILD)/apt.log sh tools/install-deps.sh test
	@TARGETS="pictoria-convert bench_whole_runs" sh tools/build.sh $(BUILD) $(JOBS) $(CMAKE_OPTIONS) -DBUILD_TESTING=ON
	$(BUILD)/bench_whole_runs

run: build-programs
	@sh tools/run.sh $(BUILD)

clean:
	rm -rf $(BUILD)
