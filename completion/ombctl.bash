# bash completion for ombctl: subcommands, their options, categories,
# partitions, and report names as `ombctl reports` lists them.
_ombctl_subcommands() {
    ombctl --help 2>/dev/null | awk '/^Subcommands:/ {on = 1; next} on && NF {print $1}'
}

_ombctl_report_names() {
    local category=$1 host=$2
    local args=(reports --category "$category")
    [[ -n $host ]] && args+=(--host "$host")
    ombctl "${args[@]}" 2>/dev/null | awk 'NR > 1 && NF >= 4 {print $NF}'
}

_ombctl() {
    # Plain COMP_WORDS, so the completion works with or without the
    # bash-completion package.
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local words=("${COMP_WORDS[@]}") cword=$COMP_CWORD

    local subcommand="" i
    for ((i = 1; i < cword; i++)); do
        if [[ ${words[i]} != -* ]]; then
            subcommand=${words[i]}
            break
        fi
    done

    if [[ -z $subcommand ]]; then
        COMPREPLY=($(compgen -W "$(_ombctl_subcommands) --help --version" -- "$cur"))
        return
    fi

    case $prev in
        --category)
            COMPREPLY=($(compgen -W "Configure Backup Restore delete-snapshot" -- "$cur"))
            return ;;
        --partition)
            COMPREPLY=($(compgen -W "1 2 3 4 5 6 7 8" -- "$cur"))
            return ;;
        --host)
            if declare -F _known_hosts_real >/dev/null; then _known_hosts_real -- "$cur"; fi
            return ;;
        --warn | --crit)
            COMPREPLY=($(compgen -W "12h 24h 26h 48h 50h 2d 3d" -- "$cur"))
            return ;;
        --until)
            # A local time; the current one is a starting point to edit.
            COMPREPLY=("$(date '+%Y-%m-%dT%H:%M:%S')")
            return ;;
        --snapshot)
            COMPREPLY=($(compgen -W "1 2 3 4 5 6 7 8 9 10" -- "$cur"))
            return ;;
        --log-wait)
            COMPREPLY=($(compgen -W "30m 1h 2h 6h" -- "$cur"))
            return ;;
        --min-free | --log-full | --when-free-below | --db | --to)
            return ;;
    esac

    local options="--json --host --help"
    case $subcommand in
        snapshots) options+=" --partition" ;;
        pin | unpin) options="--partition --snapshot --host --help" ;;
        reports) options+=" --category" ;;
        report) options+=" --category" ;;
        status) options+=" --warn --crit --min-free --log-full --log-wait" ;;
        archive-logs) options="--partition --when-free-below --host --help" ;;
        configure) options="--data --log --vaultinfo --help" ;;
        restore) options="--partition --snapshot --nr --until --host --help" ;;
        restore-db) options="--partition --snapshot --db --to --replace --nr --until --host --help" ;;
        schedule) options="--name --backup= --del= --replace --at --days --list --export-systemd --export-cron --help" ;;
        version) options="--help" ;;
    esac

    if [[ $subcommand == report && $cur != -* ]]; then
        local action="" category="" host=""
        for ((i = 1; i < cword; i++)); do
            case ${words[i]} in
                show | delete) action=${words[i]} ;;
                --category) category=${words[i + 1]} ;;
                --host) host=${words[i + 1]} ;;
            esac
        done
        if [[ -z $action ]]; then
            COMPREPLY=($(compgen -W "show delete" -- "$cur"))
            return
        fi
        if [[ -n $category ]]; then
            COMPREPLY=($(compgen -W "$(_ombctl_report_names "$category" "$host")" -- "$cur"))
            return
        fi
    fi

    COMPREPLY=($(compgen -W "$options" -- "$cur"))
} &&
    complete -F _ombctl ombctl
