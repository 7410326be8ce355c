#!/bin/sh
# Fails if a program loads a DLL planted beside it, in its current folder,
# under the name of a system DLL that is not a KnownDLL:
#   planted-dll.sh WINE_RUN PREFIX PLANTED_DLL STATIC_IMPORTS PROGRAM [ARGUMENT...]
# PLANTED_DLL leaves NAME.dll.loaded beside itself when loaded.
# STATIC_IMPORTS imports those DLLs the ordinary way: it shows first that
# the planted copies are found at all. Wine prefers its own builtin DLLs;
# "native, then builtin" for these names makes it search as Windows does,
# the program's folder first. If even then STATIC_IMPORTS does not load
# them, this Wine cannot show the fault and the test is skipped (77).
wine_run=$1
prefix=$2
planted=$3
static_imports=$4
program=$5
shift 5

dlls="bcrypt crypt32 dnsapi iphlpapi secur32 winhttp"
WINEDLLOVERRIDES="mscoree,mshtml=;$(echo $dlls | tr ' ' ',')=n,b"
export WINEDLLOVERRIDES

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A folder holding the program and the planted DLLs; the program runs there,
# as the tools do in the mail folder. Prints the names of the DLLs loaded.
run_planted() {
  folder=$work/$1
  shift
  mkdir -p "$folder"
  for dll in $dlls; do cp "$planted" "$folder/$dll.dll" || exit 1; done
  cp "$1" "$folder/" || exit 1
  name=$(basename "$1")
  shift
  (cd "$folder" && "$wine_run" "$prefix" "$folder/$name" "$@" >"$folder/output" 2>&1)
  echo "exit status $?" >>"$folder/output"
  # The marker takes the DLL's name as the importer spelled it.
  markers=$(ls "$folder" | tr '[:upper:]' '[:lower:]')
  for dll in $dlls; do
    if echo "$markers" | grep -qx "$dll.dll.loaded"; then echo "$dll"; fi
  done
}

loaded=$(run_planted check "$static_imports") || exit 1
for dll in $dlls; do
  case " $(echo $loaded) " in
    *" $dll "*) ;;
    *) echo "Wine did not load $dll.dll from the program's folder even for a" \
            "static import: it cannot show the fault here" >&2
       exit 77 ;;
  esac
done

loaded=$(run_planted program "$program" "$@") || exit 1
if [ -n "$loaded" ]; then
  echo "$(basename "$program") loaded the planted DLLs:" $loaded >&2
  cat "$work/program/output" >&2
  exit 1
fi
echo "$(basename "$program") loaded none of the planted DLLs:" $dlls
cat "$work/program/output"
