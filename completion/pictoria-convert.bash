# SPDX-License-Identifier: MIT
# bash completion for pictoria-convert: its options, the values of those that
# take a fixed set, and pictures for IMAGE. Needs nothing from bash-completion.

_pictoria_convert_files()
{
    # $1: an extended pattern of the names to offer besides directories;
    # empty offers every file.
    local IFS=$'\n' restore_extglob
    restore_extglob=$(shopt -p extglob)
    shopt -s extglob
    if [ -n "$1" ]; then
        COMPREPLY=($(compgen -f -X "!*.@($1)" -- "$cur") $(compgen -d -- "$cur"))
    else
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
    eval "$restore_extglob"
    compopt -o filenames 2>/dev/null
}

_pictoria_convert()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=
    local option_index=$((COMP_CWORD - 1))
    # "--format=p": bash makes the "=" a word of its own.
    if [ "$cur" = "=" ]; then
        cur=
    elif [ $COMP_CWORD -ge 2 ] && [ "${COMP_WORDS[COMP_CWORD - 1]}" = "=" ]; then
        option_index=$((COMP_CWORD - 2))
    fi
    [ $option_index -ge 1 ] && prev=${COMP_WORDS[option_index]}
    COMPREPLY=()

    # Any case, as cameras write them: IMG_0001.JPG.
    local pictures='[jJ][pP][gG]|[jJ][pP][eE][gG]|[jJ][pP][eE]|[pP][nN][gG]|[gG][iI][fF]|[bB][mM][pP]|[pP][bBgGpPnN][mM]|[xX][bBpP][mM]|[iI][cC][oO]|[wW][eE][bB][pP]|[tT][iI][fF]|[tT][iI][fF][fF]'
    case $prev in
    --cell) COMPREPLY=($(compgen -W '4 8 16 32' -- "$cur")); return ;;
    --encoding) COMPREPLY=($(compgen -W 'sjis utf-8' -- "$cur")); return ;;
    --format) COMPREPLY=($(compgen -W 'text png html' -- "$cur")); return ;;
    -o | --output) _pictoria_convert_files ''; return ;;
    --database) _pictoria_convert_files '[cC][dD][bB]'; return ;;
    --brightness | --contrast | --variation | --scale | --width | --threads) return ;; # a number
    esac

    # After "--" every word is a picture.
    local i
    for ((i = 1; i < COMP_CWORD; i++)); do
        [ "${COMP_WORDS[i]}" = "--" ] && { _pictoria_convert_files "$pictures"; return; }
    done
    case $cur in
    -*)
        COMPREPLY=($(compgen -W '-o --output --cell --brightness --contrast --variation --encoding --terminal
            --format --color --board --scale --width --fit --invert --threads --database -q --quiet -h --help --version' -- "$cur"))
        ;;
    *) _pictoria_convert_files "$pictures" ;;
    esac
}

complete -F _pictoria_convert pictoria-convert
