#!/bin/sh
# Checks that each Windows program imports only the system's own DLLs.
#   check_imports.sh OBJDUMP PROGRAM.exe...
set -u
objdump=$1
shift
status=0
for program in "$@"; do
  imports=$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort | tr '\n' ' ')
  if [ "$imports" = "KERNEL32.dll msvcrt.dll " ]; then
    echo "$(basename "$program"): $imports"
  else
    echo "$(basename "$program") imports: $imports(expected KERNEL32.dll msvcrt.dll only)"
    status=1
  fi
done
exit $status
