#!/usr/bin/env bash
# The scripts' syntax (bash -n) and shellcheck's findings, at every severity:
# scripts/, the tools' scripts and CI's.
# A finding that stays is silenced where it stands, with a comment saying why.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts=(.ci/run)
while IFS= read -r script; do scripts+=("$script"); done < <(find scripts tools -name '*.sh' | LC_ALL=C sort)
status=0
for script in "${scripts[@]}"; do
    bash -n "$script" || { echo "lint: bash -n fails on $script" >&2; status=1; }
done
# .shellcheckrc at the top: sourced files are followed from each script's folder.
if shellcheck --external-sources "${scripts[@]}"; then
    echo "lint: bash -n and shellcheck $(shellcheck --version | sed -n 's/^version: //p'): ${#scripts[@]} scripts clean"
else
    echo "lint: shellcheck reports the findings above" >&2
    status=1
fi
exit $status
