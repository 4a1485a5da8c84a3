#!/bin/sh
# The folder where one user's Wireshark extcaps go: the "Personal Extcap path"
# that Wireshark 4.2 and later list in "tshark -G folders", else the extcap
# folder in the personal configuration folder, which 4.0 reads too
# (~/.config/wireshark/extcap).
set -eu
folders=$(tshark -G folders 2>/dev/null || true)
personal=$(printf '%s\n' "$folders" | sed -n 's/^Personal Extcap path:[[:space:]]*//p')
if [ -n "$personal" ]; then
    echo "$personal"
    exit 0
fi
config=$(printf '%s\n' "$folders" | sed -n 's/^Personal configuration:[[:space:]]*//p')
echo "${config:-${XDG_CONFIG_HOME:-$HOME/.config}/wireshark}/extcap"
