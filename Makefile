# The set-up commands of the README (demo, check) and the Debian packages.
.PHONY: demo check package
demo:
	scripts/demo.sh
check:
	scripts/check.sh
package:
	scripts/package.sh
