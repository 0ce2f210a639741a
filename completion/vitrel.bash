# bash completion for vitrel: its options, and after -class or -name the class
# names or titles that winlist lists right now, quoted for the shell, or
# within the quote the user opened.

_vitrel_window_texts()
{
	local label=$1 cur=$2 line quoted
	while IFS= read -r line; do
		line=${line%$'\r'}
		case $line in
		"$label:\""*\") ;;
		*) continue ;;
		esac
		line=${line#"$label:\""}
		line=${line%\"}
		# After an opening quote, readline keeps the quote and closes it itself.
		if [[ $cur == [\'\"]* ]]; then
			[[ $line == "${cur:1}"* ]] || continue
			if [[ $cur == \'* ]]; then
				COMPREPLY+=("${line//\'/\'\\\'\'}")
			else
				COMPREPLY+=("$(sed 's/[$`\\"]/\\&/g' <<<"$line")")
			fi
			continue
		fi
		quoted=$(printf '%q' "$line")
		if [[ $line == "$cur"* || $quoted == "$cur"* ]]; then
			COMPREPLY+=("$quoted")
		fi
	done < <(winlist 2>/dev/null)
}

_vitrel()
{
	local cur=${COMP_WORDS[COMP_CWORD]}
	local prev=${COMP_WORDS[COMP_CWORD - 1]}

	COMPREPLY=()
	# Options are read in pairs, so a word is an option's value only in a value's place.
	if ((COMP_CWORD % 2 == 0)); then
		case $prev in
		-class) _vitrel_window_texts "Window class" "$cur" ;;
		-name) _vitrel_window_texts "Window name" "$cur" ;;
		-trans) mapfile -t COMPREPLY < <(compgen -W '0 64 128 192 255' -- "$cur") ;;
		esac
		return 0
	fi
	mapfile -t COMPREPLY < <(compgen -W '-class -name -trans' -- "$cur")
}

complete -F _vitrel vitrel
