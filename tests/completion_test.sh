#!/bin/bash
# SPDX-License-Identifier: MIT
# The shell completions offer exactly the options of --help, values the
# converter accepts, and pictures for IMAGE.
set -u
dir=$(cd "$1" && pwd)
convert=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail=0
bad() { echo "$*"; fail=1; }

# Completes the words given, the last being the one under the cursor, in a
# fresh bash that has sourced nothing but the script; prints the candidates
# one a line, sorted.
complete_words() {
    (cd "$scratch/pictures" && bash --norc --noprofile -c '
        source "$0" || exit 1
        [ "$(complete -p pictoria-convert)" = "complete -F _pictoria_convert pictoria-convert" ] || exit 2
        COMP_WORDS=(pictoria-convert "$@")
        COMP_CWORD=$#
        COMPREPLY=()
        _pictoria_convert
        shopt -q extglob && exit 3 # the user'\''s shell options stay as they were
        printf "%s\n" "${COMPREPLY[@]}" | sort' "$dir/pictoria-convert.bash" "$@") || echo "(failed: $?)"
}
expect() {
    local want=$1 got
    shift
    got=$(complete_words "$@" | tr '\n' ' ')
    [ "$got" = "$want " ] || bad "bash: pictoria-convert $* <TAB> gave \"$got\", not \"$want\""
}

mkdir -p "$scratch/pictures/album" && touch "$scratch/pictures/a.jpg" "$scratch/pictures/B.JPG" \
    "$scratch/pictures/c.png" "$scratch/pictures/notes.txt" "$scratch/pictures/Standard.cdb"

# Options, and values in both spellings QCommandLineParser takes.
expect --format --for
expect "html png text" --format ""
expect png --format p
expect "html png text" --format = # "--format=": bash makes the "=" a word
expect text --format = t
expect "sjis utf-8" --encoding ""
expect "16 32 4 8" --cell ""
expect "" --brightness ""
# Pictures in any case, and directories to look in; the database for --database.
expect "B.JPG a.jpg album c.png" ""
expect "B.JPG a.jpg album c.png" --cell 8 ""
expect "Standard.cdb album" --database ""
expect "" -- --for # after "--" every word is a picture

# The options offered are those of --help, in both shells.
help=$("$convert" --help | grep -o -- '^ *\(-[a-z], \)\?--[a-z-]*' | tr -d ' ,' | sed 's/--/ --/' | tr ' ' '\n' | sort -u | grep .)
offered=$(complete_words -)
[ "$offered" = "$help" ] || bad "bash offers: $(echo $offered); --help names: $(echo $help)"
for option in $help; do
    grep -q -- "$option\b" "$dir/_pictoria-convert" || bad "zsh lacks $option"
done
for option in $(grep -o -- "'\?\(--\?[a-z][a-z-]*\)[=+[,}]" "$dir/_pictoria-convert" | tr -d "'=+[,}"); do
    echo "$help" | grep -qx -- "$option" || bad "zsh offers $option, which --help does not name"
done
command -v zsh >/dev/null || bad "zsh is missing (tools/install-deps.sh installs it)"
zsh -n "$dir/_pictoria-convert" || bad "zsh cannot parse _pictoria-convert"

# Every value offered is one the converter takes: a missing picture (2), not a usage error (1).
for option in --cell --encoding --format; do
    for value in $(complete_words "$option" ""); do
        XDG_DATA_HOME=$scratch "$convert" -q "$option" "$value" "$scratch/none.jpg" -o "$scratch/none.txt" 2>/dev/null
        [ $? -eq 2 ] || bad "bash offers $option $value, which pictoria-convert refuses"
    done
done

[ $fail -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $fail
