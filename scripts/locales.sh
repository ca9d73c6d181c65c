#!/usr/bin/env bash
# Makes sure the locales the test suite runs under exist: a decimal-comma
# locale (de_DE.UTF-8) and Turkish case rules (tr_TR.UTF-8, tr_TR.ISO-8859-9).
# Needs the Debian package "locales" (scripts/deps.sh) and root to generate.
set -euo pipefail
have() { locale -a 2>/dev/null | tr 'A-Z' 'a-z' | tr -d '-' | grep -qx "$1"; }
missing=0
for entry in "de_DE UTF-8 de_DE.UTF-8 de_de.utf8" "tr_TR UTF-8 tr_TR.UTF-8 tr_tr.utf8" \
            "tr_TR ISO-8859-9 tr_TR.ISO-8859-9 tr_tr.iso88599"; do
    read -r input charmap name listed <<<"$entry"
    have "$listed" && continue
    if [ "$(id -u)" -ne 0 ]; then
        echo "Locale $name is missing; run scripts/locales.sh as root." >&2
        missing=1
        continue
    fi
    echo "Generating locale $name"
    localedef -i "$input" -f "$charmap" "$name"
done
exit "$missing"
