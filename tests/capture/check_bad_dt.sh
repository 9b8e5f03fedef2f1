#!/bin/sh
# Frame durations outside 0.0001 to 10 seconds are refused before any work:
# exit status 2 and a message that names --dt (a duration of 0 would never
# reach the end of the sequence).
#   check_bad_dt.sh DEMO_CAPTURE
set -u
capture=$1
status=0
for dt in 0 0.00009 10.5 -1 nan; do
  message=$(timeout 60 "$capture" --dt "$dt" --bench 2>&1 >/dev/null)
  code=$?
  case "$code:$message" in
    2:*--dt*) ;;
    *)
      echo "--dt $dt: exit status $code, message '$message' (wanted 2 and a message naming --dt)"
      status=1
      ;;
  esac
done
[ "$status" = 0 ] && echo "every bad --dt refused"
exit "$status"
