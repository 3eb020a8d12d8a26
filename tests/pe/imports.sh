#!/bin/sh
# imports.sh OBJDUMP EXE...: fails when an executable is not a 64-bit PE
# program or imports a DLL outside those every Windows installation has.
objdump="$1"
shift
system="kernel32 user32 gdi32 comctl32 comdlg32 shell32 ole32 oleaut32 advapi32 msvcrt dbghelp shlwapi version"
status=0
for exe in "$@"; do
    if ! "$objdump" -f "$exe" | grep -q "file format pei-x86-64"; then
        echo "$exe: not a 64-bit PE executable"
        status=1
        continue
    fi
    dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sed 's/\.dll$//')
    if [ -z "$dlls" ]; then
        echo "$exe: no import table"
        status=1
    fi
    for dll in $dlls; do
        case " $system " in
        *" $dll "*) ;;
        *)
            echo "$exe imports $dll.dll, which Windows does not have"
            status=1
            ;;
        esac
    done
    echo "$exe imports:" $dlls
done
exit $status
