# bash completion of lumora: its commands, their options, the event names of `lumora send` (in
# any case, as it takes them) and the power names of --power. Installed as
# share/bash-completion/completions/lumora.
#
# The names between BEGIN NAMES and END NAMES are written from the event catalogue by
# `lumora-event-doc --update .` (the test events_documents checks them); the options are those
# that each command's --help lists (the test posix.completion_bash checks them).

# BEGIN NAMES
_lumora_events='SessionOpened SessionClosed NavHome DiscStarted CdStarted MusicStarted VideoStarted LiveTvStarted RecordedTvStarted PicturesStarted RadioStarted NavLiveTv NavDvd NavGuide NavMusic NavPictures NavVideos NavRecordedTv NavRadio NavOnlineMedia PhoneCallStarted AuxIndicatorOn AuxIndicatorOff Level Play Pause Stop ScanEndA ScanEndB SessionIndicatorOn SessionIndicatorOff SessionMarked Eject ScanA ScanB ItemNumber MediaName ExtraText PlayTime MusicTitle TitleNumber PictureName RadioFrequency CallerText MoreProgram'
_lumora_powers='suspend resume resume-automatic resume-critical enter-quiet leave-quiet'
# END NAMES

_lumora_commands='run send status demo follow kodi mpris'
_lumora_options_run='--socket --panel --trace --record -v --verbose --no-verbose --accelerate
  --device-error --quiet --no-config --print-config --help --version'
_lumora_options_send='--socket --strict --power --endsession --close --file --list --help --version'
_lumora_options_status='--socket --help --version'
_lumora_options_demo='--fast --panel --scenario --help --version'
_lumora_options_follow='--only --no-kodi --no-mpris --host --port --socket -v --verbose --capture
  --help --version'
_lumora_options_kodi='--host --port --socket -v --verbose --capture --help --version'
_lumora_options_mpris='--socket -v --verbose --help --version'

_lumora() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local prev=
  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
  COMPREPLY=()
  if ((COMP_CWORD == 1)); then
    local words=$_lumora_commands
    [[ $cur == -* ]] && words='--help --version'
    mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
    return 0
  fi
  local command=${COMP_WORDS[1]}
  case $prev in
    --socket | --trace | --record | --file | --scenario | --capture)
      compopt -o filenames 2>/dev/null
      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      return 0
      ;;
    --panel)
      local faces='term plain none'
      [ "$command" = run ] && faces="$faces lcdproc"
      mapfile -t COMPREPLY < <(compgen -W "$faces" -- "$cur")
      return 0
      ;;
    --power)
      mapfile -t COMPREPLY < <(compgen -W "$_lumora_powers" -- "$cur")
      return 0
      ;;
    --endsession)
      mapfile -t COMPREPLY < <(compgen -W '0 1' -- "$cur")
      return 0
      ;;
    --only)
      mapfile -t COMPREPLY < <(compgen -W 'kodi mpris' -- "$cur")
      return 0
      ;;
    --host | --port | --accelerate | --device-error)
      return 0
      ;;
  esac
  if [[ $cur == -* ]]; then
    local options=_lumora_options_$command
    mapfile -t COMPREPLY < <(compgen -W "${!options}" -- "$cur")
    return 0
  fi
  # lumora send SID CODE [TEXT]: the event name is the second word that is neither an option
  # nor an option's value.
  if [ "$command" = send ]; then
    local i words=0
    for ((i = 2; i < COMP_CWORD; i++)); do
      case ${COMP_WORDS[i]} in
        --socket | --file | --power | --endsession) ((i++)) ;;
        -*) ;;
        *) ((words++)) ;;
      esac
    done
    if ((words == 1)); then
      local name lower=${cur,,}
      for name in $_lumora_events; do
        [[ ${name,,} == "$lower"* ]] && COMPREPLY+=("$name")
      done
    fi
  fi
  return 0
}
complete -F _lumora lumora
