# fish completion for vitrel: its options, and after -class or -name the
# class names or titles that winlist lists right now.

# Options are read in pairs, so a word is an option's value only in a value's place.
function __vitrel_option_place
	test (math (count (commandline -opc)) % 2) -eq 1
end

function __vitrel_after
	set -l words (commandline -opc)
	test (math (count $words) % 2) -eq 0; and contains -- $words[-1] $argv
end

function __vitrel_window_texts
	winlist 2>/dev/null | string replace -rf '^'$argv[1]':"(.*)"\r?$' '$1'
end

complete -c vitrel -f
complete -c vitrel -n __vitrel_option_place -a '-class -name -trans'
complete -c vitrel -n '__vitrel_after -class' -a '(__vitrel_window_texts "Window class")'
complete -c vitrel -n '__vitrel_after -name' -a '(__vitrel_window_texts "Window name")'
complete -c vitrel -n '__vitrel_after -trans' -a '0 64 128 192 255'
