# bash completion for vxkctl
_vxkctl() {
  local cur prev words cword
  _init_completion -n = 2>/dev/null || {
    cur=${COMP_WORDS[COMP_CWORD]}
    words=("${COMP_WORDS[@]}")
    cword=$COMP_CWORD
  }
  local commands="info ls get put rm mkdir mv cat exec time lcd diag shell firmware batch serve"
  local link_opts="--serial= --com= --listen= --sock= --wait= --key= --key-file= --rtt= --time= --lock-wait= -q -v --help --version"
  local command="" i
  for ((i = 1; i < cword; i++)); do
    case " $commands " in *" ${words[i]} "*) command=${words[i]}; break ;; esac
  done

  case $cur in
    --key-file=* | --png=* | --zip=* | --job=* | --results=* | --password-file=*)
      local prefix=${cur%%=*}= value=${cur#*=}
      COMPREPLY=($(compgen -f -P "$prefix" -- "$value"))
      compopt -o nospace 2>/dev/null
      return ;;
    --com=*)
      COMPREPLY=($(compgen -f -P --com= -- "${cur#--com=}"))
      return ;;
  esac

  if [[ -z $command ]]; then
    if [[ $cur == -* ]]; then
      COMPREPLY=($(compgen -W "$link_opts" -- "$cur"))
      [[ ${COMPREPLY[0]} == *= ]] && compopt -o nospace 2>/dev/null
    else
      COMPREPLY=($(compgen -W "$commands" -- "$cur"))
    fi
    return
  fi

  local opts=""
  case $command in
    info) opts="--json" ;;
    ls) opts="-l --json" ;;
    get) opts="-r -p --json" ;;
    put) opts="-r --route --json" ;;
    rm) opts="-r --json" ;;
    mkdir | mv | cat | firmware) opts="--json" ;;
    exec) opts="--timeout= --json" ;;
    time) opts="--json --sync --tz --tz=" ;;
    lcd) opts="--png= --key=1 --key=2 --key=3 --key=4 -p --json" ;;
    diag) opts="--zip= --password= --password-file= --folders= --json" ;;
    batch) opts="--keep-going --json" ;;
    serve) opts="--job= --results= --sessions= --keep-going --drain= --proxy-protocol --key= --key-file= --rtt= --time= --json" ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$opts --help -q" -- "$cur"))
    [[ ${COMPREPLY[0]} == *= ]] && compopt -o nospace 2>/dev/null
    return
  fi
  # Local files where a command takes them; device paths are not completed.
  case $command in
    get | put | firmware | batch) COMPREPLY=($(compgen -f -- "$cur")) ;;
  esac
}
complete -F _vxkctl vxkctl
