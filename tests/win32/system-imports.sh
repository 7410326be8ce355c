#!/bin/sh
# Fails unless every DLL that the given Windows programs import is part of
# Windows itself, so each program runs from a folder with no DLL beside it:
#   system-imports.sh OBJDUMP PROGRAM...
objdump=$1
shift
status=0
for program in "$@"; do
  imports=$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p')
  if [ -z "$imports" ]; then
    echo "$program: no imports found" >&2
    status=1
    continue
  fi
  for dll in $imports; do
    case $(echo "$dll" | tr '[:upper:]' '[:lower:]') in
      kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | shell32.dll | \
      ole32.dll | oleaut32.dll | comctl32.dll | comdlg32.dll | shlwapi.dll | \
      imm32.dll | ws2_32.dll | iphlpapi.dll | dnsapi.dll | secur32.dll | \
      crypt32.dll | ncrypt.dll | bcrypt.dll | winhttp.dll | winmm.dll | version.dll | \
      userenv.dll | uxtheme.dll | msvcrt.dll | ucrtbase.dll | api-ms-win-*.dll) ;;
      *) echo "$program imports $dll, not one of Windows' own DLLs" >&2
         status=1 ;;
    esac
  done
done
exit $status
