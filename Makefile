# The two set-up commands of the README.
.PHONY: demo check
demo:
	scripts/demo.sh
check:
	scripts/check.sh
