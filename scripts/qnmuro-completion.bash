# Bash completion for qnmuro. Load it with
#   source scripts/qnmuro-completion.bash
# or install it as /usr/share/bash-completion/completions/qnmuro.

_qnmuro() {
  COMPREPLY=()
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  local commands="demo run oa-server handover transfer pending agent config datasource registry password log doctor help"
  local words=("${COMP_WORDS[@]:1:COMP_CWORD-1}") command="" sub="" datasource_file="" w skip=0
  # The subcommand and, for the groups, its own subcommand (datasource takes FILE first; handover
  # takes SOURCE or check). An option's value is no subcommand.
  for w in "${words[@]}"; do
    if [ "$skip" -gt 0 ]; then skip=$((skip - 1)); continue; fi
    case $w in
      --tls) skip=2; continue ;;
      --dir | --root | --profile | --server-root | --server | --config | --datasource | --schema | \
        --namespace | --users | --host | --auth | --port | --name | --para | --data | --tail)
        skip=1; continue ;;
      -*) continue ;;
    esac
    if [ -z "$command" ]; then
      command=$w
    elif [ -z "$sub" ]; then
      case $command in
        transfer | pending | config | registry | password) sub=$w ;;
        handover) [ "$w" = check ] && sub=$w || sub=source ;;
        datasource) if [ -n "$datasource_file" ]; then sub=$w; else datasource_file=$w; fi ;;
      esac
    fi
  done
  case $prev in
    --dir | --root | --profile | --server-root) COMPREPLY=($(compgen -d -- "$cur")); return ;;
    --config | --datasource | --schema | --users | --tls) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    # The word processors: the command's own table, listed by the hidden `qnmuro hosts`.
    --host) [ "$command" = oa-server ] || { COMPREPLY=($(compgen -W "$("${COMP_WORDS[0]}" hosts 2>/dev/null)" -- "$cur")); return; } ;;
    --auth) COMPREPLY=($(compgen -W "basic digest" -- "$cur")); return ;;
  esac
  local options="" choices=""
  case $command in
    "") choices="$commands"; options="--help --version" ;;
    demo) options="--dir --server --server-root --host --profile" ;;
    run) options="--host --profile"; COMPREPLY=($(compgen -f -- "$cur")) ;;
    oa-server) options="--root --host --port --tls --users --auth" ;;
    handover)
      if [ "$sub" = check ]; then
        options="--host --json"; COMPREPLY=($(compgen -d -- "$cur"))
      else
        [ -z "$sub" ] && choices="check"
        options="--config --datasource --name --verbose"
        [ -z "$sub" ] && COMPREPLY=($(compgen -f -- "$cur"))
      fi ;;
    transfer) [ -z "$sub" ] && choices="download upload" || options="--config" ;;
    pending)
      if [ -z "$sub" ]; then choices="list retry password drop forget-tag"
      elif [ "$sub" = list ]; then options="--json"
      elif [ "$sub" = drop ]; then options="--yes"; fi ;;
    agent) options="--para --data --xml --config" ;;
    config) [ -z "$sub" ] && choices="check" || { options="--schema --namespace --strict --json"; COMPREPLY=($(compgen -f -- "$cur")); } ;;
    datasource)
      if [ -z "$datasource_file" ]; then
        COMPREPLY=($(compgen -f -- "$cur"))
      elif [ -z "$sub" ]; then
        choices="get-desc get-value get-value-by-desc set-value set-value-by-desc get-extend has-extend dump"
      elif [ "$sub" = dump ]; then
        options="--json"
      fi ;;
    registry)
      if [ -z "$sub" ]; then choices="get set unset list"; else choices="CurrentFile CurrentUser sid"; fi ;;
    password) [ -z "$sub" ] && choices="encrypt decrypt" ;;
    log) options="--tail --follow" ;;
    doctor) options="--json" ;;
    help) choices="$commands" ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options --help" -- "$cur"))
  else
    COMPREPLY+=($(compgen -W "$choices" -- "$cur"))
  fi
}
complete -o filenames -F _qnmuro qnmuro
