#!/bin/sh
# Fails unless every DLL that the given Windows programs import is one of
# the system's KnownDLLs, which Windows maps from System32 whatever lies
# beside the program:
#   system-imports.sh OBJDUMP PROGRAM...
# Any other DLL, a system one too, is looked for in the program's folder
# first when it is a static import; those must be delay-loaded, so that they
# load after the program has narrowed the DLL search to System32. The list
# is what Windows 7 to 11 all have under KnownDLLs (ntdll always comes from
# System32); comctl32, bcrypt, crypt32, secur32, winhttp and the like are
# not on it.
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
      advapi32.dll | clbcatq.dll | comdlg32.dll | difxapi.dll | gdi32.dll | \
      imagehlp.dll | imm32.dll | kernel32.dll | msctf.dll | msvcrt.dll | \
      normaliz.dll | nsi.dll | ntdll.dll | ole32.dll | oleaut32.dll | \
      psapi.dll | rpcrt4.dll | sechost.dll | setupapi.dll | shell32.dll | \
      shlwapi.dll | user32.dll | wldap32.dll | ws2_32.dll) ;;
      *) echo "$program imports $dll, not a KnownDLL: it must be delay-loaded" >&2
         status=1 ;;
    esac
  done
done
exit $status
