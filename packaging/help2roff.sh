#!/bin/sh
# Turns a program's help text (standard input) into man-page markup for its OPTIONS section.
# Option lines ("  -name VALUE   what it does") become tagged paragraphs, indented lines
# continue the one before, "Heading:" lines become subsections, other lines paragraphs.
# Lines before the first option or heading are the usage summary and are left out, and so are
# lines matching the optional first argument (an extended regular expression).
skip=${1:-}
awk -v skip="$skip" '
function esc(s) {
  gsub(/\\/, "\\e", s)
  gsub(/-/, "\\-", s)
  if (s ~ /^[.'"'"']/) s = "\\&" s
  return s
}
skip != "" && $0 ~ skip { next }
/^ +-/ {
  started = 1
  s = $0
  sub(/^ +/, "", s)
  i = index(s, "  ")
  if (i == 0) { opt = s; text = "" } else { opt = substr(s, 1, i - 1); text = substr(s, i); sub(/^ +/, "", text) }
  print ".TP"
  print "\\fB" esc(opt) "\\fR"
  if (text != "") print esc(text)
  intag = 1
  next
}
/^[A-Z][^:]*:$/ {
  started = 1
  sub(/:$/, "")
  print ".SS " esc($0)
  intag = 0
  next
}
!started { next }
/^ *$/ { intag = 0; next }
/^ {4,}/ && intag { s = $0; sub(/^ +/, "", s); print esc(s); next }
{ print ".PP"; print esc($0); intag = 0 }
'
