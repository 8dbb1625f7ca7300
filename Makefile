# SPDX-License-Identifier: MIT
# make run   installs what is missing, builds, and starts Pictoria
# make test  installs what is missing, builds, and runs every test
BUILD ?= build
JOBS ?= $(shell nproc)
# CI builds (CI is set) treat every compiler warning as an error.
WERROR ?= $(if $(CI),ON,OFF)

.PHONY: run test sanitize build deps clean

deps:
	@sh tools/install-deps.sh

build: deps
	@sh tools/build.sh $(BUILD) $(JOBS) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPICTORIA_WERROR=$(WERROR)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The suite under AddressSanitizer and UndefinedBehaviorSanitizer, then every
# fuzz target for a bounded number of inputs.
sanitize:
	@sh tools/sanitize-and-fuzz.sh

run: build
	@sh tools/run.sh $(BUILD)

clean:
	rm -rf $(BUILD)
