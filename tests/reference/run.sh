#!/bin/sh
# Cross-checks a built vireo-migrate against the reference converter over
# 200 generated projects, after the reference's own checks. Builds nothing.
#   run.sh PATH-TO-vireo-migrate [more cross_check.py options]
# A --seeds N among the options replaces the 200.
set -eu
if [ $# -lt 1 ]; then
    echo "usage: $0 PATH-TO-vireo-migrate [cross_check.py options]" >&2
    exit 2
fi
binary=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
export PYTHONDONTWRITEBYTECODE=1
python3 "$here/test_vb_convert.py" >/dev/null 2>&1 || {
    python3 "$here/test_vb_convert.py"
    echo "cross-check: the reference converter fails its own checks" >&2
    exit 1
}
exec python3 "$here/cross_check.py" --binary "$binary" --seeds 200 "$@"
