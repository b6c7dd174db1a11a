# bash completion for dovetune-reg: operations, switches, key paths one level
# at a time (read with "dovetune-reg query" from the store it uses), value
# names after /v and types after /t. It shares dovetune's completion helpers
# (quoting, the store's path), loaded from beside this file when needed.

if ! declare -F _dovetune_reply >/dev/null; then
  for _dovetune_helpers in "${BASH_SOURCE[0]%/*}/dovetune" "${BASH_SOURCE[0]%/*}/dovetune.bash"; do
    if [[ -f $_dovetune_helpers ]]; then
      # shellcheck source=/dev/null
      source "$_dovetune_helpers"
      break
    fi
  done
  unset _dovetune_helpers
fi

# Runs "dovetune-reg query KEY" when the store exists (completion never makes
# one), and never long enough to hang the shell on a busy store.
_dovetune_reg_query() {
  local program=$1 key=$2
  # shellcheck disable=SC2088
  [[ $program == "~/"* ]] && program=$HOME/${program#"~/"}
  [[ -e $(_dovetune_store_path) ]] || return 0
  local -a run=("$program" query "$key")
  command -v timeout >/dev/null 2>&1 && run=(timeout 2 "${run[@]}")
  "${run[@]}" 2>/dev/null </dev/null
}

# Prints the keys one level below what the word being completed means, each
# as PARENT\NAME with PARENT as typed; with no backslash yet, the roots.
_dovetune_reg_keys() {
  local program=$1 typed=$2 parent line depth
  if [[ $typed != *\\* ]]; then
    printf '%s\n' HKCU HKLM HKCR HKU HKCC HKEY_CURRENT_USER HKEY_LOCAL_MACHINE \
      HKEY_CLASSES_ROOT HKEY_USERS HKEY_CURRENT_CONFIG
    return
  fi
  parent=${typed%\\*}
  # A subkey's line names it in full: one level deeper than the parent.
  depth=${parent//[!\\]/}
  while IFS= read -r line; do
    [[ $line == HKEY_* ]] || continue
    [[ ${line//[!\\]/} == "$depth\\" ]] || continue
    printf '%s\n' "$parent\\${line##*\\}"
  done < <(_dovetune_reg_query "$program" "$parent")
}

# Prints the names of the values of |key|, from the lines "    NAME    TYPE    DATA".
_dovetune_reg_values() {
  local program=$1 key=$2 line name
  while IFS= read -r line; do
    [[ $line == "    "* ]] || continue
    name=${line#    }
    [[ $name =~ ^(.*)"    "REG_[A-Z_]+("    "|$) ]] || continue
    name=${BASH_REMATCH[1]}
    [[ $name == "(Default)" ]] || printf '%s\n' "$name"
  done < <(_dovetune_reg_query "$program" "$key")
}

_dovetune_reg() {
  local -a operations=(query add delete export import)
  local -a types=(REG_SZ REG_EXPAND_SZ REG_MULTI_SZ REG_DWORD REG_QWORD REG_BINARY REG_NONE)
  local _dovetune_words _dovetune_cword
  _dovetune_join_words
  local _dovetune_lowered
  _dovetune_lower "${_dovetune_words[1]-}"
  local cword=$_dovetune_cword operation=$_dovetune_lowered
  local previous=${_dovetune_words[cword - 1]-} current=${_dovetune_words[cword]-}
  local switches
  case $operation in
    query) switches="/v /ve /s" ;;
    add) switches="/v /ve /t /s /d /f" ;;
    delete) switches="/v /ve /va /f" ;;
    export) switches="/y" ;;
    import) switches="" ;;
    *) switches="" ;;
  esac
  COMPREPLY=()
  if ((cword == 1)); then
    _dovetune_reply < <(printf '%s\n' "${operations[@]}")
    return
  fi
  # The words before this one: the key, and the file of export and import.
  local -a positionals=()
  local i word
  for ((i = 2; i < cword; i++)); do
    word=${_dovetune_words[i]}
    _dovetune_lower "$word"
    case $_dovetune_lowered in
      /v | /t | /d) ((i++)) ;;
      /s) [[ $operation == add ]] && ((i++)) ;;
      /* | -*) ;;
      *) positionals+=("$word") ;;
    esac
  done
  local _dovetune_quote _dovetune_before _dovetune_typed
  _dovetune_lower "$previous"
  previous=$_dovetune_lowered
  case $previous in
    /t)
      _dovetune_reply nocase < <(printf '%s\n' "${types[@]}")
      return ;;
    /v)
      [[ ${#positionals[@]} -gt 0 ]] || return 0
      _dovetune_dequote "${positionals[0]}"
      _dovetune_reply < <(_dovetune_reg_values "${COMP_WORDS[0]}" "$_dovetune_typed")
      return ;;
    /d | /s) [[ $previous == /d || $operation == add ]] && return 0 ;;
  esac
  if [[ $current == /* ]]; then
    # shellcheck disable=SC2086
    _dovetune_reply nocase < <(printf '%s\n' $switches)
  elif [[ $operation == import || ($operation == export && ${#positionals[@]} -eq 1) ]]; then
    compopt -o default 2>/dev/null || true
  elif [[ ${#positionals[@]} -eq 0 && -n $operation ]]; then
    _dovetune_dequote "$current"
    # One level at a time: the user types the backslash to go deeper.
    compopt -o nospace 2>/dev/null || true
    _dovetune_reply nocase < <(_dovetune_reg_keys "${COMP_WORDS[0]}" "$_dovetune_typed")
  fi
}

complete -o nosort -F _dovetune_reg dovetune-reg 2>/dev/null || complete -F _dovetune_reg dovetune-reg
