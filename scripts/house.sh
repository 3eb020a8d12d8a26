#!/usr/bin/env bash
# The house rules a script can check (README.md, "House rules"): the layout
# of the lines changed, each file's kModule and class tag, no std::mutex,
# windows.h only in Win32 files, no standard containers where a file's
# bytes are parsed. Names every breach; exits 1 when there is one.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
status=0
breach() {
    echo "house rule: $*" >&2
    status=1
}

# The lines changed since the branch left origin/main (in a clone without
# it, since the last commit) are laid out as .clang-format says.
base=$(git merge-base HEAD origin/main 2>/dev/null || git rev-parse -q --verify HEAD~1 2>/dev/null || true)
if [ -n "$base" ]; then
    layout=$(git clang-format --diff --extensions cpp,h "$base" -- app divivar misc tests bench 2>&1 || true)
    case "$layout" in
    "" | *"no modified files"* | *"did not modify"*) ;;
    *)
        echo "$layout" >&2
        breach "lines changed since $(git rev-parse --short "$base") are not laid out by .clang-format" \
            "(git clang-format $(git rev-parse --short "$base"))"
        ;;
    esac
fi

sources=$(git ls-files 'app/*.cpp' 'divivar/*.cpp' 'misc/*.cpp')
for file in $sources; do
    path=${file%.cpp}
    module=$(sed -n 's/^const char kModule\[\] = "\(.*\)";$/\1/p' "$file")
    [ -z "$module" ] || [ "$module" = "$path" ] || breach "$file: kModule is \"$module\", not its path \"$path\""
    tag=$(sed -n 's/^const char kTag\[\] = "[A-Za-z]*:\(.*\)";$/\1/p' "$file")
    [ -z "$tag" ] || [ "$tag" = "$path" ] || breach "$file: its class tag names \"$tag\", not \"$path\""
done

while read -r hit; do breach "$hit: std::mutex (CoreLock is the one lock)"; done < <(
    git grep -n -E 'std::(recursive_)?mutex' -- app divivar misc || true)

while read -r file; do
    case "$file" in
    *_win32* | divivar/toolkit/* | app/window/* | *.rc) ;;
    *) breach "$file: includes windows.h outside the Win32 files" ;;
    esac
done < <(git grep -l -E '#include <windows.h>' -- app divivar misc || true)

# Where a file's bytes are parsed, memory is the tracked allocator's; names
# (a folder's walk, a POSIX listing) may live in containers.
while read -r hit; do
    case "$hit" in
    app/engine/gather.* | divivar/file_posix.cpp:*) ;;
    *) breach "$hit: a standard container where a file's bytes are parsed" ;;
    esac
done < <(git grep -n -E 'std::(vector|string|deque|map)\b' -- 'divivar/*.cpp' 'divivar/*.h' misc app/engine \
    ':!divivar/toolkit' || true)

exit $status
