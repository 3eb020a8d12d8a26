#!/bin/sh
# imports.sh OBJDUMP BUNDLED FILE...: fails when a program or DLL is not
# 64-bit PE code, imports a DLL that is neither in every Windows installation
# nor among BUNDLED (the DLLs the package carries, ";"-separated names
# without ".dll"), or when a bundled DLL is imported by none of the files.
objdump="$1"
bundled=$(echo "$2" | tr ';A-Z' ' a-z')
shift 2
system="kernel32 user32 gdi32 comctl32 comdlg32 shell32 ole32 oleaut32 advapi32 msvcrt dbghelp shlwapi version"
status=0
imported=""
for exe in "$@"; do
    if ! "$objdump" -f "$exe" | grep -q "file format pei-x86-64"; then
        echo "$exe: not 64-bit PE code"
        status=1
        continue
    fi
    dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sed 's/\.dll$//')
    if [ -z "$dlls" ]; then
        echo "$exe: no import table"
        status=1
    fi
    for dll in $dlls; do
        case " $system $bundled " in
        *" $dll "*) imported="$imported $dll" ;;
        *)
            echo "$exe imports $dll.dll, which neither Windows nor the package has"
            status=1
            ;;
        esac
    done
    echo "$exe imports:" $dlls
done
for dll in $bundled; do
    case "$imported " in
    *" $dll "*) ;;
    *)
        echo "the package carries $dll.dll, which nothing imports"
        status=1
        ;;
    esac
done
exit $status
