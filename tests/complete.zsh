# Prints, a NUL after each, the matches zsh's own completion finds for the
# line $2 with the functions in $1: in a terminal of its own, where compadd
# hands on what it would add.
zmodload zsh/zpty
matches=$(mktemp)
zpty z zsh -f -i
zpty -w z "fpath=(${(q)1} \$fpath); autoload -U compinit; compinit -u -D;" \
	"compadd() { local -a hits; builtin compadd -O hits \"\$@\"; print -rN -- \$hits >>${(q)matches}; };" \
	"PS1=\$'\\x5fready> '"
# Typed ahead of the prompt, the line would be thrown away.
zpty -r z output '*_ready> *'
zpty -n -w z "$2"$'\t\x15exit\n'
while zpty -r z output; do :; done
cat $matches
rm -f $matches
