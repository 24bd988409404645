# bash completion for vireo-migrate
_vireo_migrate() {
  local cur prev command i
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD-1]}
  command=""
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      convert|recover|types|register) command=${COMP_WORDS[i]}; break ;;
    esac
  done
  case $prev in
    --wine-prefix|--backup) COMPREPLY=($(compgen -d -- "$cur")); return ;;
    --report) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    --from|--to) COMPREPLY=($(compgen -W "1 2 3 4 5 6" -- "$cur")); return ;;
    --codepage) COMPREPLY=($(compgen -W "874 932 936 949 950 1250 1251 1252 1253 1254 1255 1256 1257 1258" -- "$cur")); return ;;
  esac
  local options
  case $command in
    "") options="convert recover types register --help --version" ;;
    convert) options="--from --to --dry-run --diff --report --backup --quiet -q --wait --recursive -r --jobs -j --junit --verbose -v --wine-prefix --codepage --help" ;;
    recover) options="--recursive -r --discard --wine-prefix --codepage --help" ;;
    types) options="--wine-prefix --help" ;;
    register) options="--wine-prefix --quiet -q --help" ;;
  esac
  if [[ $cur == -* || $command == "" || $command == types || $command == register ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
  else
    # The project: a .vbp or .mak file, or a folder holding one.
    COMPREPLY=($(compgen -o plusdirs -f -X '!*.@(vbp|VBP|mak|MAK)' -- "$cur"))
  fi
}
complete -F _vireo_migrate vireo-migrate
