#!/usr/bin/env bash
# Fails on an #include that points up or across the layers:
#   app → ui → {tier, apps, transfers, insight, updates} → mover → core → platform
# Usage: check-includes.sh <src folder>
set -euo pipefail
src=${1:?usage: check-includes.sh <src folder>}

declare -A allowed=(
    [platform]="platform"
    [core]="core platform"
    [mover]="mover core platform"
    [tier]="tier mover core platform"
    [apps]="apps mover core platform"
    [transfers]="transfers mover core platform"
    [insight]="insight mover core platform"
    [updates]="updates mover core platform"
    [ui]="ui tier apps transfers insight updates mover core platform"
    [app]="app ui tier apps transfers insight updates mover core platform"
)

checked=0 forbidden=0
while IFS= read -r -d '' file; do
    layer=${file#"$src"/}
    layer=${layer%%/*}
    if [[ -z ${allowed[$layer]+set} ]]; then
        echo "unknown layer: $file"
        forbidden=$((forbidden + 1))
        continue
    fi
    while IFS= read -r line; do
        target=${line#*\"}
        target=${target%%/*}
        checked=$((checked + 1))
        if [[ " ${allowed[$layer]} " != *" $target "* ]]; then
            echo "forbidden: ${file#"$src"/} ($layer) includes \"${line#*\"}"
            forbidden=$((forbidden + 1))
        fi
    done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[A-Za-z_]+/' "$file" || true)
done < <(find "$src" -type f \( -name '*.cpp' -o -name '*.h' \) -print0)

echo "$checked includes checked, $forbidden forbidden"
((forbidden == 0))
