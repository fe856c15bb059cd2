#!/bin/sh
# Prints the size of a built program; with a limit above 0, a program larger
# than the limit is removed and the build fails.
file=$1
limit=$2
size=$(stat -c %s "$file")
echo "$(basename "$file"): $size bytes"
if [ "$limit" -gt 0 ] && [ "$size" -gt "$limit" ]; then
  echo "error: $(basename "$file") is $size bytes, $((size - limit)) over its limit of $limit bytes" >&2
  rm -f "$file"
  exit 1
fi
