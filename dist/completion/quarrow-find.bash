# bash completion for quarrow-find
_quarrow_find()
{
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    local options='-S -d --registered --list-servers -U --encrypt --trust-server-certificate -t -n -E -c -T --size --size-at-least --size-at-most
        --created-after --created-before --created-months --created-days --format --context
        --scripts -q -h --help --version'

    case $prev in
        -S)
            # Catalogue snapshots here and in the user's catalogue folder; live servers are
            # typed.
            local IFS=$'\n'
            local data=${XDG_DATA_HOME:-$HOME/.local/share}/quarrow/catalogues
            COMPREPLY=($(compgen -f -X '!*.qcat' -- "$cur"))
            if [[ $cur != */* && -d $data ]]; then
                COMPREPLY+=($(cd "$data" && compgen -f -X '!*.qcat' -- "$cur"))
            fi
            COMPREPLY+=($(compgen -d -- "$cur"))
            return
            ;;
        -T)
            local IFS=$'\n'
            local types='Default
Rule
Stored Procedure
Trigger
User Defined Datatype
User Defined Function
User Table
View'
            COMPREPLY=($(compgen -W "$types" -- "${cur#[\"\']}"))
            COMPREPLY=("${COMPREPLY[@]// /\\ }")
            return
            ;;
        --format)
            COMPREPLY=($(compgen -W 'tsv csv lines jsonl' -- "$cur"))
            return
            ;;
        --encrypt)
            COMPREPLY=($(compgen -W 'off request require' -- "$cur"))
            return
            ;;
        -d | -U | -t | -n | --size | --size-at-least | --size-at-most | --created-after | \
            --created-before | --created-months | --created-days | --context)
            return
            ;;
    esac
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
}
complete -F _quarrow_find quarrow-find
