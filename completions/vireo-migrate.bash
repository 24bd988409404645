# bash completion for vireo-migrate
_vireo_migrate_types() {
  # The catalogue's positions, control files and names (names are quoted).
  local IFS=$'\n' type
  for type in 1 2 3 4 5 6 PLOVER32.OCX VIRA32.OCX VIRAS32.OCX EVIRA32.OCX VIRA5_32.OCX \
      EVIR5_32.OCX "Plover 1.0" "Vireo 4.0" "Vireo Standard 1.0" "VireoCore.VireoCtl" \
      "Vireo Pro 5.0 for VB4" "Vireo Pro 5.0 for VB4 (Eval)"; do
    [[ $type == "$1"* ]] && printf '%q\n' "$type"
  done
}

_vireo_migrate() {
  local cur prev command i
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD-1]}
  command=""
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      convert|scan|recover|types|register) command=${COMP_WORDS[i]}; break ;;
    esac
  done
  case $prev in
    --wine-prefix|--backup)
      local IFS=$'\n'
      compopt -o filenames
      COMPREPLY=($(compgen -d -- "$cur"))
      return ;;
    --report|--junit|--html)
      local IFS=$'\n'
      compopt -o filenames
      COMPREPLY=($(compgen -f -- "$cur"))
      return ;;
    --from|--to)
      # What is typed so far, without its quotes and backslashes.
      local typed=${cur//\\/} IFS=$'\n'
      typed=${typed#[\"\']}
      COMPREPLY=($(_vireo_migrate_types "$typed"))
      return ;;
    --codepage) COMPREPLY=($(compgen -W "874 932 936 949 950 1250 1251 1252 1253 1254 1255 1256 1257 1258" -- "$cur")); return ;;
    --jobs|-j|--wait) return ;;
  esac
  local options
  case $command in
    "") options="convert scan recover types register --help --version" ;;
    convert) options="--from --to --dry-run --diff --report --backup --html --allow-dirty --quiet -q --wait --recursive -r --jobs -j --junit --verbose -v --wine-prefix --codepage --help" ;;
    scan) options="--recursive -r --json --html --jobs -j --quiet -q --wine-prefix --codepage --help" ;;
    recover) options="--recursive -r --discard --wine-prefix --codepage --help" ;;
    types) options="--wine-prefix --help" ;;
    register) options="--wine-prefix --quiet -q --help" ;;
  esac
  if [[ $cur == -* || $command == "" || $command == types || $command == register ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
  else
    # A project (.vbp or .mak), a project group (.vbg), or a folder.
    local IFS=$'\n'
    compopt -o filenames
    COMPREPLY=($(compgen -o plusdirs -f -X '!*.@([vV][bB][pP]|[mM][aA][kK]|[vV][bB][gG])' -- "$cur"))
  fi
}
complete -F _vireo_migrate vireo-migrate
