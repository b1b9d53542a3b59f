#!/usr/bin/env bash
# completion_check.sh COMPLETION PROGRAM_DIR MKHDS SAMPLE: loads the completion script after
# bash-completion and completes the last word of each command line below, on the image of
# SAMPLE, under LANG=C.UTF-8, with the programs of PROGRAM_DIR on the PATH. Prints a diff
# from the expected replies, which follow each line's words (shell-quoted) after " => ".
set -uo pipefail
loader=/usr/share/bash-completion/bash_completion
[ -r $loader ] || { echo "completion_check: no $loader (package bash-completion)"; exit 1; }
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT
"$3" "$work/sample.hds" "$4" >/dev/null && mkdir "$work/mnt" && cd "$work" || exit 1
export LANG=C.UTF-8 PATH=$2:$PATH
source $loader && source "$1" || exit 1
cat >expected <<'END'
hauldisk -a - => -p -i -a -r --help --version
peekdisk -p0 s => sample.hds
peekdisk sample.hds '\S' => \SYS\
peekdisk -p0 sample.hds /s => /SYS/
hauldisk sample.hds '\\SYS\\C' => \SYS\CONFIG.SYS
peekdisk sample.hds "'\\ゲ" => \ゲーム\
peekdisk sample.hds "'\\ゲーム\\'メ" => \ゲーム\メモ.TXT
peekdisk sample.hds '' => DOC\ README.TXT SYS\ ゲーム\
peekdisk mnt '\' => 
peekdisk -p1 sample.hds '\' => 
peekfs -r sample.hds m => mnt
peekfs sample.hds mnt '' => 
END
while IFS= read -r line; do
  eval "COMP_WORDS=(${line% => *})"
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMP_LINE="${COMP_WORDS[*]}" COMPREPLY=()
  COMP_POINT=${#COMP_LINE}
  _peekdisk "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  echo "${line% => *} => ${COMPREPLY[*]}"
done <expected >actual 2>&1
diff -u --label expected --label actual expected actual
