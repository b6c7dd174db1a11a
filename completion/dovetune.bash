# bash completion for dovetune: command words, preset names read from the
# store the program itself uses, and parameter words.
# The other programs' completions (dovetune-reg's) use its helpers too.
#
# Both scripts run in bash 3.2 (macOS's /bin/bash) as well, so they use none
# of what later versions added: no ${x,,} or ${x^^} (case is compared with
# nocasematch, or _dovetune_lower for ASCII words), no negative array index
# (arr[-1]), no mapfile/readarray, associative arrays, namerefs (local -n),
# ${x@Q}, ;& or ;;& in case, {fd}> redirections or coproc; compopt and
# "complete -o nosort" (bash 4) are tried and their failure ignored.

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

# Sets the caller's _dovetune_words and _dovetune_cword to COMP_WORDS and
# COMP_CWORD with the pieces bash split at ':' and '=' (they are in
# COMP_WORDBREAKS) joined again: to the program they are one argument.
_dovetune_join_words() {
  # Without a line (a caller that sets only COMP_WORDS), each word stands apart.
  local line=${COMP_LINE-"${COMP_WORDS[*]}"} word spaced i
  line=${line:0:${COMP_POINT-${#line}}}
  _dovetune_words=()
  _dovetune_cword=0
  for ((i = 0; i < ${#COMP_WORDS[@]} && i <= COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    spaced=no
    [[ $line == [[:space:]]* ]] && spaced=yes
    line=${line#"${line%%[![:space:]]*}"}
    line=${line#"$word"}
    if ((i > 0)) && [[ $spaced == no ]] &&
      [[ $word == [:=]* || ${COMP_WORDS[i - 1]} == *[:=] ]]; then
      _dovetune_words[${#_dovetune_words[@]} - 1]+=$word
    else
      _dovetune_words+=("$word")
    fi
    ((i == COMP_CWORD)) && _dovetune_cword=$((${#_dovetune_words[@]} - 1))
  done
}

# Sets the caller's _dovetune_lowered to |text| with the ASCII capitals made
# small: enough for the command words and switches, which are ASCII.
_dovetune_lower() {
  local text=$1 capitals=ABCDEFGHIJKLMNOPQRSTUVWXYZ smalls=abcdefghijklmnopqrstuvwxyz
  local char before i
  _dovetune_lowered=""
  for ((i = 0; i < ${#text}; i++)); do
    char=${text:i:1}
    before=${capitals%%"$char"*}
    ((${#before} < 26)) && char=${smalls:${#before}:1}
    _dovetune_lowered+=$char
  done
}

# Fills COMPREPLY with the candidates (one a line on standard input) that
# start with what the word being completed means, quoted as the line needs.
# With "nocase", letter case does not count, as for preset names, which the
# store compares that way.
_dovetune_reply() {
  local nocase=${1-} candidate _dovetune_quote _dovetune_before _dovetune_typed
  local _dovetune_quoted word=${_dovetune_words[_dovetune_cword]} split had_nocasematch=""
  _dovetune_dequote "$word"
  # Bash puts a reply only in place of the part after the word's last ':' or
  # '=' (outside quotes); the part before it stays as typed.
  split=${word%[:=]*}
  if [[ $split != "$word" && -z $_dovetune_quote ]]; then split=$((${#split} + 1)); else split=0; fi
  # The user's own setting of nocasematch is put back at the end.
  shopt -q nocasematch && had_nocasematch=yes
  if [[ -n $nocase ]]; then shopt -s nocasematch; else shopt -u nocasematch; fi
  COMPREPLY=()
  while IFS= read -r candidate; do
    [[ $candidate == "$_dovetune_typed"* ]] || continue
    # With a quote open, readline replaces only the text after that quote.
    if [[ -n $_dovetune_quote ]]; then
      candidate=${candidate:${#_dovetune_before}}
    fi
    _dovetune_quote_for "$candidate" "$_dovetune_quote"
    COMPREPLY+=("${_dovetune_quoted:split}")
  done
  if [[ -n $had_nocasematch ]]; then shopt -s nocasematch; else shopt -u nocasematch; fi
}

_dovetune() {
  local -a commands=(view create create_from_current edit delete use)
  local -a parameters=(-preset -cbr -optimize
    -vbr_tape -vbr_radio -vbr_internet -vbr_streaming -vbr_normal -vbr_extreme
    -vbr_audiophile -vbr_transcoding -codecquality_fast -codecquality_high
    -aacprofile_lc -aacprofile_he -usepns -usepns_no -downmix -downmix_no
    -muxintovideo -muxintovideo_no -exportaac -exportaac_no
    -hintforstreaming -hintforstreaming_no)
  local -a bitrates=(16 20 24 28 32 40 48 56 64 80 96 112 128 160 192 244 256 320 388 448)
  local _dovetune_words _dovetune_cword
  _dovetune_join_words
  local command_word=${_dovetune_words[1]-} previous=${_dovetune_words[_dovetune_cword - 1]-}
  local takes_parameters="" cword=$_dovetune_cword
  case $command_word in
    create | create_from_current | edit | use) takes_parameters=yes ;;
    view | delete) ;;
    *) ((cword == 1)) || { COMPREPLY=(); return; } ;;
  esac

  if ((cword == 1)); then
    _dovetune_reply < <(printf '%s\n' "${commands[@]}")
  elif ((cword == 2)) && [[ $command_word == delete ]]; then
    # "current" names the current settings, never a preset to delete.
    _dovetune_reply nocase < <(_dovetune_preset_names "${COMP_WORDS[0]}" | grep -vx current)
  elif ((cword == 2)); then
    _dovetune_reply nocase < <(_dovetune_preset_names "${COMP_WORDS[0]}")
  elif [[ -z $takes_parameters ]]; then
    COMPREPLY=()
  elif [[ $previous == -preset ]]; then
    _dovetune_reply nocase < <(_dovetune_preset_names "${COMP_WORDS[0]}")
  elif [[ $previous == -cbr ]]; then
    _dovetune_reply < <(printf '%s\n' "${bitrates[@]}")
  elif [[ $previous == -optimize ]]; then
    COMPREPLY=()
  else
    _dovetune_reply < <(printf '%s\n' "${parameters[@]}")
  fi
}

# The ladder and the listing come in their own order, not sorted as text.
complete -o nosort -F _dovetune dovetune 2>/dev/null || complete -F _dovetune dovetune
