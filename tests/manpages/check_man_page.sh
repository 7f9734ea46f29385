#!/usr/bin/env bash
# Checks that a man page documents what its program's --help prints:
#   check_man_page.sh MAN_PAGE PROGRAM [ARGUMENT...]
# A program with subcommands (their list under "Subcommands:" in --help) must
# have, in ".SH COMMANDS", one ".SS" section per subcommand headed by its name
# that names every
# option "PROGRAM COMMAND --help" prints; an option that the program itself
# prints may instead be named once in the ".SH OPTIONS" section. A program
# without subcommands must name each of its options in ".SH OPTIONS".
# The page must also render without warnings, as lintian renders it.
set -euo pipefail
page=$1
shift
program=("$@")
failures=0

fail() {
  echo "check_man_page: $*" >&2
  failures=$((failures + 1))
}

# The options of one --help text: the names at the start of its option lines
# ("  -o,--output TEXT", "  -h, --help   Displays..."), one per line.
help_options() {
  { grep -E '^ {2,8}-' || true; } | sed -E 's/^ +//; s/ {2,}.*//; s/[, ]+/\n/g' |
    { grep -E '^--?[A-Za-z0-9]' || true; } | sed -E 's/=.*//' | sort -u
}

# The page as plain text lines: roff's \- as -, font changes and quotes gone.
plain_page() {
  sed -E 's/\\-/-/g; s/\\f[BIRP]//g; s/\\f\[[A-Z]*\]//g; s/\\&//g' "$page"
}

# The lines of one section of the text on standard input: from the heading
# line that `start` matches to the next heading of the same or a higher level.
section() {
  awk -v start="$1" -v level="$2" '
    done { next }
    inside && ($1 == ".SH" || (level == ".SS" && $1 == ".SS")) { done = 1; next }
    $0 ~ start { inside = 1; next }
    inside { print }'
}

# Whether `text` names `option` as a word of its own.
names_option() {
  grep -qE -- "(^|[^A-Za-z0-9-])$2([^A-Za-z0-9-]|\$)" <<<"$1"
}

[ -f "$page" ] || { echo "check_man_page: no page $page" >&2; exit 1; }
top_help=$("${program[@]}" --help)
top_options=$(help_options <<<"$top_help")
[ -n "$top_options" ] || fail "${program[*]} --help lists no options: its format is not understood"
options_section=$(plain_page | section '^[.]SH "?OPTIONS"?$' .SH)
[ -n "$options_section" ] || fail "$page has no OPTIONS section"

commands=$(awk '/^Subcommands:/ { inside = 1; next } inside && /^ +[a-z]/ { print $1 }
                inside && /^[^ ]/ { inside = 0 }' <<<"$top_help")

if [ -z "$commands" ]; then
  for option in $top_options; do
    names_option "$options_section" "$option" || fail "OPTIONS does not name $option"
  done
else
  commands_section=$(plain_page | section '^[.]SH "?COMMANDS"?$' .SH)
  [ -n "$commands_section" ] || fail "$page has no COMMANDS section"
  for command in $commands; do
    text=$(section "^[.]SS \"?$command( |\"|\$)" .SS <<<"$commands_section")
    if [ -z "$text" ]; then
      fail "no section \".SS $command\" for the command $command"
      continue
    fi
    options=$("${program[@]}" "$command" --help | help_options)
    [ -n "$options" ] || fail "${program[*]} $command --help lists no options"
    for option in $options; do
      names_option "$text" "$option" && continue
      if grep -qxF -- "$option" <<<"$top_options" && names_option "$options_section" "$option"; then
        continue
      fi
      fail "the section of $command does not name $option"
    done
  done
  for option in $top_options; do
    names_option "$options_section" "$option" || fail "OPTIONS does not name $option"
  done
fi

# Rendered as lintian renders man pages: any warning is a fault of the page.
if command -v man >/dev/null; then
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
    man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null || true)
  [ -z "$warnings" ] || fail "rendering $page warns: $warnings"
fi

if ((failures)); then
  echo "check_man_page: $failures fault(s) in $page" >&2
  exit 1
fi
echo "check_man_page: $page names every command and option that ${program[*]} prints"
