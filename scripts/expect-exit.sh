#!/usr/bin/env bash
# expect-exit.sh STATUS PATTERN COMMAND...: runs COMMAND and passes when it
# exits with STATUS and its output (stdout and stderr) matches PATTERN.
set -uo pipefail
want=$1; pattern=$2; shift 2
out=$("$@" 2>&1); status=$?
printf '%s\n' "$out"
if [ "$status" -ne "$want" ]; then echo "exit status $status, expected $want"; exit 1; fi
# The output is matched as one text, so a pattern may span lines.
if ! printf '%s' "$out" | tr '\n' ' ' | grep -E -q -- "$pattern"; then echo "output does not match: $pattern"; exit 1; fi
