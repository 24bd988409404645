#!/bin/sh
# Cross-checks a built vireo-migrate against the reference converter over
# 200 generated projects. Builds nothing.
#   run.sh PATH-TO-vireo-migrate [more cross_check.py options]
set -eu
if [ $# -lt 1 ]; then
    echo "usage: $0 PATH-TO-vireo-migrate [cross_check.py options]" >&2
    exit 2
fi
binary=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
exec python3 "$here/cross_check.py" --binary "$binary" --seeds 200 "$@"
