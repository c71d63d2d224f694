# bash completion for qpk. What may come where (commands, options, their values, file names)
# qpk says itself, from its command table: `qpk __complete WORD...` gets the words after "qpk",
# the last the one being completed, and answers "files" or "words" on its first line, then the
# words that fit.
_qpk() {
    local cur=${COMP_WORDS[COMP_CWORD]} IFS=$'\n'
    local reply=($("${COMP_WORDS[0]}" __complete "${COMP_WORDS[@]:1:COMP_CWORD}" 2>/dev/null))
    COMPREPLY=("${reply[@]:1}")
    if [ "${reply[0]}" = files ]; then
        compopt -o filenames 2>/dev/null
        COMPREPLY+=($(compgen -f -- "$cur"))
    fi
}
complete -F _qpk qpk
