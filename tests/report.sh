# Result lines for the shell tests, sourced: check WHAT GOT WANT, then summary.
passed=0
failed=0

check() {
	if [ "$2" = "$3" ]; then
		passed=$((passed + 1))
		echo "ok - $1"
	else
		failed=$((failed + 1))
		echo "FAILED - $1: got [$2], want [$3]"
	fi
}

# Prints "N passed, N failed"; its status is the test's.
summary() {
	echo "$passed passed, $failed failed"
	[ "$failed" -eq 0 ]
}
