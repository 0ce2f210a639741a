#!/bin/bash
# The bash completion of vitrel, in a non-interactive bash, against real
# windows on the display: options, then class names and titles from winlist,
# quoted so that the shell gives back the exact text.
#
#   completion-test.sh COMPLETION-FILE BIN-DIR
set -u
completion=$1
PATH=$2:$PATH

. "$(dirname "$0")/report.sh"

xlogo -name kiwiLogo -title "Kiwi Logo" >/dev/null 2>&1 &
kiwi=$!
xlogo -name quoteLogo -title "It's \$HOME" >/dev/null 2>&1 &
quote=$!
trap 'kill $kiwi $quote 2>/dev/null' EXIT
for _ in $(seq 50); do
	[ "$(winlist | grep -c -e 'Kiwi Logo' -e 'HOME')" -eq 2 ] && break
	sleep 0.1
done

# Prints the candidates for the last word of the command line, one a line.
complete_line() {
	bash -c '
		source "$1"
		shift
		COMP_WORDS=("$@")
		COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
		_vitrel
		printf "%s\n" "${COMPREPLY[@]}" | sort
	' complete_line "$completion" "$@"
}

check "options" "$(complete_line vitrel -)" "$(printf '%s\n' -class -name -trans)"
check "an option from its start" "$(complete_line vitrel -n)" "-name"
check "an option after a value" "$(complete_line vitrel -class x -t)" "-trans"
check "titles, quoted" "$(complete_line vitrel -name Ki)" 'Kiwi\ Logo'
check "a title from its quoted start" "$(complete_line vitrel -name 'Kiwi\ L')" 'Kiwi\ Logo'
check "class names" "$(complete_line vitrel -trans 9 -class kiwi)" "kiwiLogo.XLogo"
check "alpha values" "$(complete_line vitrel -trans 1)" "$(printf "%s\n" 128 192)"
check "a word in an option's place is offered only options" "$(complete_line vitrel -class x y)" ""

quoted=$(complete_line vitrel -name It)
eval "set -- $quoted"
check "a quoted title reads back as the exact title" "$1" "It's \$HOME"

summary
