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
	local cur prev words cword breaks head
	# bash-completion's splitting keeps user@host: and a=b one word, as typed.
	_get_comp_words_by_ref -n =:@ cur prev words cword

	COMPREPLY=()
	# Options are read in pairs, so a word is an option's value only in a value's place.
	if ((cword % 2 == 0)); then
		case $prev in
		-class) _vitrel_window_texts "Window class" "$cur" ;;
		-name) _vitrel_window_texts "Window name" "$cur" ;;
		-trans) mapfile -t COMPREPLY < <(compgen -W '0 64 128 192 255' -- "$cur") ;;
		esac
		# bash puts a candidate in place of what follows the last word break typed, outside quotes.
		breaks=${COMP_WORDBREAKS//[^=:@]/}
		if [[ -n $breaks && $cur != [\'\"]* && $cur == *["$breaks"]* ]]; then
			head=${cur%"${cur##*["$breaks"]}"}
			COMPREPLY=("${COMPREPLY[@]#"$head"}")
		fi
		return 0
	fi
	mapfile -t COMPREPLY < <(compgen -W '-class -name -trans' -- "$cur")
}

complete -F _vitrel vitrel
