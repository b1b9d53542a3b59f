# Bash completion for peekdisk, hauldisk, peekfs and mkhds (needs bash-completion).
#
# DRIVE takes image files and block devices (under /dev/ only block devices and folders);
# the PATHs of peekdisk and hauldisk take the folders and files inside the image, as the
# peekdisk on the PATH (or beside the program typed) lists them for the drive and -pN on
# the line. A path keeps the separator typed last (\ or /, \ when none), a folder ends in
# it, and a name matches whatever its case. A drive that cannot be read offers nothing.

# The typed word $1 as the programs get it, into REPLY: quotes are taken away, and so
# is a backslash before a character the shell would take otherwise (as readline writes
# names); any other backslash stays itself, as paths inside an image are typed with it.
_peekdisk_path_value() {
  local word=$1 quote= c i special=$' \t\n\\"\'@<>=;|&()#$`*?[!:{~'
  REPLY=
  for ((i = 0; i < ${#word}; i++)); do
    c=${word:i:1}
    if [[ $c == "$quote" ]]; then
      quote=
    elif [[ -z $quote && ($c == \' || $c == \") ]]; then
      quote=$c
    elif [[ $c == \\ && ((-z $quote && $special == *"${word:i+1:1}"*) ||
      ($quote == \" && ${word:i+1:1} == [\\\"\$\`])) && -n ${word:i+1:1} ]]; then
      REPLY+=${word:i+1:1}
      ((i++))
    else
      REPLY+=$c
    fi
  done
}

# Fills COMPREPLY with the entries of the image `drive` (partition option `partition`,
# may be empty) whose path starts with the value of the word `cur`.
_peekdisk_image_paths() {
  local lister=$1 drive=$2 partition=$3 cur=$4
  local REPLY
  _peekdisk_path_value "$cur"
  local value=$REPLY
  local folder=${value%"${value##*[\\/]}"} start=${value##*[\\/]}
  local separator=${folder: -1}
  [[ $separator == [\\/] ]] || separator=\\
  local line name kind
  local pattern='^ *(.*[^ ]) +(<DIR>|-?[0-9]+) +[^ ]+ +[^ ]+$'
  while IFS= read -r line; do
    [[ $line =~ $pattern ]] || continue
    name=${BASH_REMATCH[1]} kind=${BASH_REMATCH[2]}
    [[ $name == . || $name == .. ]] && continue
    [[ ${name,,} == "${start,,}"* ]] || continue
    [[ $kind == '<DIR>' ]] && name+=$separator
    COMPREPLY+=("$folder$name")
  done < <(timeout 10 "$lister" ${partition:+"$partition"} "$drive" "${folder:-\\}" 2>/dev/null)
  compopt -o filenames 2>/dev/null
  if [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *[\\/] ]]; then
    compopt -o nospace 2>/dev/null
  fi
}

# Files and folders for a drive; under /dev/ block devices and folders.
_peekdisk_drives() {
  if [[ $cur == /dev/* ]]; then
    local device
    while IFS= read -r device; do
      [[ -b $device || -d $device ]] && COMPREPLY+=("$device")
    done < <(compgen -f -- "$cur")
    compopt -o filenames 2>/dev/null
  else
    _filedir
  fi
}

_peekdisk() {
  local cur prev words cword
  _init_completion -n : || return
  local program=${words[0]##*/} options
  case $program in
    peekdisk) options='-p -i -r --help --version' ;;
    hauldisk) options='-p -i -a -r --help --version' ;;
    peekfs) options='-p -f -r -o -h --help --version' ;;
    mkhds) options='--floppy --help --version' ;;
  esac
  # peekfs -o takes the next word.
  if [[ $program == peekfs && $prev == -o ]]; then
    COMPREPLY=($(compgen -W 'allow_other allow_root default_permissions' -- "$cur"))
    return
  fi
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
    [[ ${COMPREPLY[*]} == -p ]] && compopt -o nospace 2>/dev/null
    return
  fi
  # Which argument the word is: options stand anywhere and do not count.
  local i argument=0 drive= partition=
  for ((i = 1; i < cword; i++)); do
    case ${words[i]} in
      -p*) partition=${words[i]} ;;
      -o) [[ $program == peekfs ]] && ((i++)) ;;
      -*) ;;
      *)
        ((argument++))
        ((argument == 1)) && drive=${words[i]}
        ;;
    esac
  done
  case $program:$argument in
    peekdisk:0 | hauldisk:0 | peekfs:0) _peekdisk_drives ;;
    mkhds:0) _filedir ;;
    peekfs:1 | mkhds:*) _filedir -d ;;
    peekdisk:* | hauldisk:*)
      local lister=peekdisk
      [[ ${words[0]} == */* && -x ${words[0]%/*}/peekdisk ]] && lister=${words[0]%/*}/peekdisk
      _peekdisk_image_paths "$lister" "$(dequote "$drive")" "$partition" "$cur"
      ;;
  esac
  __ltrim_colon_completions "$cur"
} &&
  complete -F _peekdisk peekdisk hauldisk peekfs mkhds
