# The two commands of the README. Each installs what it needs.
.PHONY: demo test
demo:
	@scripts/demo
test:
	@scripts/test
