#!/usr/bin/env bash
# Installs what is missing, builds (Release) in build/ and runs a program:
#   ./run.sh [quadview|pointdemo|pointtrace] [arguments...]
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
source scripts/build.sh

program=quadview
case "${1:-}" in
    quadview|pointdemo|pointtrace) program=$1; shift ;;
esac

case "$program" in
    quadview) ensure_packages build run ;;
    *) ensure_packages build ;;
esac
build_project build Release
exec "build/bin/$program" "$@"
