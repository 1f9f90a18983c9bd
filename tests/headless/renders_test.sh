#!/usr/bin/env bash
# One of the reference renders, which must stay byte for byte what they are:
# a change anywhere in the scene, the generator, the drawing or the writers
# shows here as a changed checksum.
#   tests/headless/renders_test.sh path/to/telkarim a|b|c|d
set -u
bin=$(realpath "$1")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
case $2 in
  a) want=496c2e6a3b5c96945ce80feb5d8be8f29c58e55823dd5d7c582a2f7132373220
     set -- --render "$tmp/a.png" --size 1920x1080 --seconds 40 --seed 7 ;;
  b) want=3abe70858921e5ec5b8941968d4e3ab55d51136f57f92064bd57d7d454ecb324
     set -- --render "$tmp/b.png" --size 640x480 --seconds 200 --seed 3 --format 16 ;;
  c) want=4fe7ea3f93e4e1c55a3fcaa609469ae3c01ad22d97213d04a79545576fb68033
     set -- --gif "$tmp/c.gif" --size 320x240 --seconds 30 --seed 11 --every 5 ;;
  d) want=025bde4395a06e5cd85abef076a03f0181e52aedab6c0e4a7e537ab291d0c6e5
     set -- --render "$tmp/d.png" --size 800x600 --seconds 120 --seed 5 --set StarNumber=500 \
       --set ObjectVelocity=9 --set Object0=0 ;;
  *) echo "unknown render '$2'" >&2; exit 2 ;;
esac
"$bin" "$@"
status=$?
if [ "$status" -ne 0 ]; then
  echo "FAIL: telkarim $* ended with status $status"
  exit 1
fi
out=$2  # every render names its file second
got=$(sha256sum "$out" | cut -d' ' -f1)
if [ "$got" != "$want" ]; then
  echo "FAIL: telkarim $*"
  echo "  sha256 $got"
  echo "  wanted $want"
  exit 1
fi
echo "PASS: $want"
