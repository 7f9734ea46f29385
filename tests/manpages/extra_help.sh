#!/usr/bin/env bash
# A program whose help names one thing more than the real one's, for the tests
# that the man page check fails then:
#   extra_help.sh option|command PROGRAM [ARGUMENT...]
# "option" adds --not-in-the-page to the options of every command; "command"
# adds a command not-in-the-page to the program's list of commands.
set -euo pipefail
mode=$1
shift
last_two="${*: -2}"
if [ "$mode" = command ] && [ "$last_two" = "not-in-the-page --help" ]; then
  printf 'Usage: not-in-the-page [OPTIONS]\n\nOptions:\n  -h,--help   Print this help message and exit\n'
  exit 0
fi
"$@"
if [ "$mode" = option ] && [ $# -ge 3 ] && [ "${*: -1}" = --help ]; then
  echo "  --not-in-the-page           an option the man page does not name"
elif [ "$mode" = command ] && [ $# -eq 2 ] && [ "${*: -1}" = --help ]; then
  echo "  not-in-the-page             a command the man page does not name"
fi
