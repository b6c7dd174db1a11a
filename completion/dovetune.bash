# bash completion for dovetune: command words, preset names read from the
# store the program itself uses, and parameter words.

# The store file the program would open. Completion never creates one: a run
# of the program would, so a missing store is answered without running it.
_dovetune_store_path() {
  if [[ -n ${DOVETUNE_REGISTRY-} ]]; then
    printf '%s\n' "$DOVETUNE_REGISTRY"
    return
  fi
  local config=${XDG_CONFIG_HOME-}
  [[ $config == /* ]] || config=$HOME/.config
  printf '%s\n' "$config/dovetune/registry.db"
}

# Prints every settings-set name, one a line, "current" and "default" first,
# as the listing of "view" gives them. A listing line is NAME, " - " and a
# summary that starts with "bitrate: " or is "preset doesn't exist"; the name
# may hold those characters itself, so the line is split at the last match.
_dovetune_preset_names() {
  local program=$1 line
  # The command word as typed: a leading tilde is not expanded yet.
  # shellcheck disable=SC2088
  [[ $program == "~/"* ]] && program=$HOME/${program#"~/"}
  if [[ ! -e $(_dovetune_store_path) ]]; then
    printf '%s\n' current default
    return
  fi
  local -a run=("$program" view)
  # Runs wait for one another; a busy store must not hang the shell.
  command -v timeout >/dev/null 2>&1 && run=(timeout 2 "${run[@]}")
  while IFS= read -r line; do
    if [[ $line == *" - bitrate: "* ]]; then
      printf '%s\n' "${line% - bitrate: *}"
    elif [[ $line == *" - preset doesn't exist" ]]; then
      printf '%s\n' "${line%" - preset doesn't exist"}"
    fi
  done < <("${run[@]}" 2>/dev/null </dev/null)
}

# Reads the word being completed as the shell will: sets the caller's
# _dovetune_quote to the quote still open at its end (empty when none),
# _dovetune_before to the meaning of what precedes that quote, and
# _dovetune_typed to the meaning of the whole word.
_dovetune_dequote() {
  local word=$1 quote="" before="" inside="" char i
  for ((i = 0; i < ${#word}; i++)); do
    char=${word:i:1}
    if [[ -z $quote ]]; then
      case $char in
        \\) i=$((i + 1)); before+=${word:i:1} ;;
        \' | \") quote=$char; inside="" ;;
        *) before+=$char ;;
      esac
    elif [[ $char == "$quote" ]]; then
      before+=$inside; quote=""; inside=""
    elif [[ $quote == '"' && $char == \\ && ${word:i+1:1} == [\\\"\$\`] ]]; then
      i=$((i + 1)); inside+=${word:i:1}
    else
      inside+=$char
    fi
  done
  _dovetune_quote=$quote
  _dovetune_before=$before
  _dovetune_typed=$before$inside
}

# Sets the caller's _dovetune_quoted to |text| as it must stand on the
# command line after the open quote |quote|, or unquoted when that is empty.
_dovetune_quote_for() {
  local text=$1 quote=$2
  case $quote in
    "'") _dovetune_quoted=$text ;;
    '"')
      text=${text//\\/\\\\}; text=${text//\"/\\\"}
      text=${text//\$/\\\$}; text=${text//\`/\\\`}
      _dovetune_quoted=$text ;;
    *) printf -v _dovetune_quoted '%q' "$text" ;;
  esac
}

# Fills COMPREPLY with the candidates (one a line on standard input) that
# start with what the word being completed means, quoted as the line needs.
_dovetune_reply() {
  local candidate _dovetune_quote _dovetune_before _dovetune_typed _dovetune_quoted
  _dovetune_dequote "${COMP_WORDS[COMP_CWORD]}"
  COMPREPLY=()
  while IFS= read -r candidate; do
    [[ $candidate == "$_dovetune_typed"* ]] || continue
    # With a quote open, readline replaces only the text after that quote.
    if [[ -n $_dovetune_quote ]]; then
      candidate=${candidate:${#_dovetune_before}}
    fi
    _dovetune_quote_for "$candidate" "$_dovetune_quote"
    COMPREPLY+=("$_dovetune_quoted")
  done
}

_dovetune() {
  local -a commands=(view create create_from_current edit delete use)
  local -a parameters=(-preset -cbr -optimize
    -vbr_tape -vbr_radio -vbr_internet -vbr_streaming -vbr_normal -vbr_extreme
    -vbr_audiophile -vbr_transcoding -codecquality_fast -codecquality_high
    -aacprofile_lc -aacprofile_he -usepns -usepns_no -downmix -downmix_no
    -muxintovideo -muxintovideo_no -exportaac -exportaac_no
    -hintforstreaming -hintforstreaming_no)
  local -a bitrates=(448 388 320 256 244 192 160 128 112 96 80 64 56 48 40 32 28 24 20 16)
  local command_word=${COMP_WORDS[1]-} previous=${COMP_WORDS[COMP_CWORD - 1]-}
  local takes_parameters=""
  case $command_word in
    create | create_from_current | edit | use) takes_parameters=yes ;;
    view | delete) ;;
    *) ((COMP_CWORD == 1)) || { COMPREPLY=(); return; } ;;
  esac

  if ((COMP_CWORD == 1)); then
    _dovetune_reply < <(printf '%s\n' "${commands[@]}")
  elif ((COMP_CWORD == 2)); then
    _dovetune_reply < <(_dovetune_preset_names "${COMP_WORDS[0]}")
  elif [[ -z $takes_parameters ]]; then
    COMPREPLY=()
  elif [[ $previous == -preset ]]; then
    _dovetune_reply < <(_dovetune_preset_names "${COMP_WORDS[0]}")
  elif [[ $previous == -cbr ]]; then
    _dovetune_reply < <(printf '%s\n' "${bitrates[@]}")
  elif [[ $previous == -optimize ]]; then
    COMPREPLY=()
  else
    _dovetune_reply < <(printf '%s\n' "${parameters[@]}")
  fi
}

complete -F _dovetune dovetune
