#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the build and the tests need, when any is missing.
# As root it runs apt-get; otherwise it prints the command to run and fails.
set -euo pipefail

# netcat-openbsd gives the demo's `nc`; clang and its runtime (libclang-rt-dev: libFuzzer,
# ASan and UBSan, libclang_rt.fuzzer-x86_64.a among them) build the fuzzers;
# Qt 6 Widgets with the Liberation fonts builds the desktop window and its controls;
# libedit (found through pkg-config) gives the remote client its line editing;
# OpenSSL 3 (libssl-dev, with the openssl program for the tests' certificate checks)
# gives the host's port and the client their TLS; baresip-core is the SIP engine of
# the voice plug-in and its tests.
packages=(build-essential cmake make googletest libgtest-dev libgmock-dev
          clang libclang-rt-dev netcat-openbsd util-linux
          qt6-base-dev libgl-dev fonts-liberation libedit-dev pkg-config libssl-dev openssl baresip-core)
# `--bench` adds what `make bench` compares the host with: ser2net, a plain
# serial-to-TCP bridge.
if [[ "${1:-}" == "--bench" ]]; then
    packages+=(ser2net)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -ne 0 ]]; then
    echo "Missing packages. Run as root:" >&2
    echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
