#!/usr/bin/env bash
# completion_check.sh COMPLETION PROGRAM_DIR MKHDS SAMPLE: loads the completion script after
# bash-completion and completes words of command lines on the image of SAMPLE, under
# LANG=C.UTF-8, with the programs of PROGRAM_DIR on the PATH. Prints a diff from the
# expected replies, each a line "WORDS... => REPLIES...".
set -uo pipefail
loader=/usr/share/bash-completion/bash_completion
[ -r $loader ] || { echo "completion_check: $loader is missing (package bash-completion)"; exit 1; }
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT
"$3" "$work/sample.hds" "$4" >/dev/null && mkdir "$work/mnt" && cd "$work" || exit 1
export LANG=C.UTF-8 PATH=$2:$PATH
source $loader && source "$1" || exit 1
complete_line() {
  COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) COMP_LINE="$*" COMP_POINT=${#COMP_LINE} COMPREPLY=()
  _peekdisk "$1" "${!#}" "${COMP_WORDS[COMP_CWORD - 1]}"
  echo "$* => ${COMPREPLY[*]}"
}
cat >expected <<'END'
hauldisk -a - => -p -i -a -r --help --version
peekdisk -p0 s => sample.hds
peekdisk sample.hds \S => \SYS\
peekdisk -p0 sample.hds /s => /SYS/
hauldisk sample.hds \\SYS\\C => \SYS\CONFIG.SYS
peekdisk sample.hds '\ゲ => \ゲーム\
peekdisk sample.hds '\ゲーム\'メ => \ゲーム\メモ.TXT
peekdisk sample.hds  => DOC\ README.TXT SYS\ ゲーム\
peekdisk mnt \ => 
peekdisk -p1 sample.hds \ => 
peekfs -r sample.hds m => mnt
END
{
  complete_line hauldisk -a -
  complete_line peekdisk -p0 s
  complete_line peekdisk sample.hds '\S'
  complete_line peekdisk -p0 sample.hds /s
  complete_line hauldisk sample.hds '\\SYS\\C'
  complete_line peekdisk sample.hds "'\\ゲ"
  complete_line peekdisk sample.hds "'\\ゲーム\\'メ"
  complete_line peekdisk sample.hds ''
  complete_line peekdisk mnt '\'
  complete_line peekdisk -p1 sample.hds '\'
  complete_line peekfs -r sample.hds m
} >actual 2>&1
diff -u --label expected --label actual expected actual
