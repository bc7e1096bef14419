#!/usr/bin/env bash
# The bash completion the package installs, as bash runs it: every command
# ormid-cli's own --help lists is offered, and each command offers the
# options its --help lists and no other. The zsh completion is read by zsh
# when zsh is there.
#   Usage: completion_test.sh ORMID_CLI BASH_COMPLETION ZSH_COMPLETION
set -euo pipefail
cli=$1
# shellcheck source=/dev/null
source "$2"

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# The words offered for the line "$@" with the cursor after its last word.
offered() {
  COMP_WORDS=(ormid-cli "$@")
  COMP_CWORD=$(($# ))
  COMPREPLY=()
  _ormid_cli
  printf '%s\n' "${COMPREPLY[@]}"
}
has() { grep -qx -- "$2" <<<"$1"; }

# The commands of ormid-cli --help ("Subcommands:" up to the blank line).
commands=$("$cli" --help | sed -n '/^Subcommands:/,/^$/p' | awk 'NR > 1 && NF { print $1 }')
[ -n "$commands" ] || fail "ormid-cli --help lists no command"
top=$(offered "")
for c in $commands; do
  has "$top" "$c" || fail "ormid-cli <TAB> does not offer $c"
done
[ "$(offered lo)" = longterm ] || fail "ormid-cli lo<TAB> gives '$(offered lo)'"
history=$(offered history "")
for w in show check; do has "$history" "$w" || fail "history <TAB> does not offer $w"; done
nested=$(offered residue "")
for c in export import; do has "$nested" "$c" || fail "residue <TAB> does not offer $c"; done

# Each command's options as its --help lists them.
options_of() {
  "$@" --help | sed -n '/^Options:/,/^$/p' | grep -oE -- '--[a-z][a-z0-9-]*' | sort -u
}
for c in $commands residue\ export residue\ import; do
  # shellcheck disable=SC2086
  want=$(options_of "$cli" $c)
  # shellcheck disable=SC2086
  got=$(offered $c -- | grep -- '^--' | sort -u)
  for o in $want; do has "$got" "$o" || fail "$c --<TAB> does not offer $o"; done
  for o in $got; do
    case $o in --workdir | --version | --help) continue ;; esac
    has "$want" "$o" || fail "$c --<TAB> offers $o, which $c --help does not list"
  done
done

# Values: a folder after -C, the choices of an option that has them, and
# the word after an option's value is a file again.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/work"
touch "$tmp/infile"
cd "$tmp"
[ "$(offered -C wo)" = work ] || fail "-C wo<TAB> gives '$(offered -C wo)'"
[ "$(offered -C work longterm in)" = infile ] ||
  fail "longterm in<TAB> after -C DIR gives '$(offered -C work longterm in)'"
by=$(offered headroom --by "")
for choice in $("$cli" headroom --help | grep -- '--by' | grep -oE '\{[^}]*\}' | tr -d '{}' | tr ',' ' '); do
  has "$by" "$choice" || fail "headroom --by <TAB> does not offer $choice"
done

if command -v zsh >/dev/null; then
  zsh -n "$3" || fail "zsh cannot read $3"
fi
bash -n "$2" || fail "bash cannot read $2"

if [ "$failures" -ne 0 ]; then
  echo "$failures failures" >&2
  exit 1
fi
echo "bash completion: $(wc -w <<<"$commands") commands and their options offered"
