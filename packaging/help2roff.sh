#!/bin/sh
# Turns a program's help text (standard input) into man-page markup for its OPTIONS section.
# Option lines ("  -name VALUE   what it does", and "  0   what it means" of an exit-status
# table) become tagged paragraphs, lines indented by four or more blanks continue the line
# before, "Heading:" lines become subsections. Other lines indented by two blanks (examples)
# keep their own lines; unindented lines make paragraphs, which a blank line ends. Lines before the first option or heading are the usage summary and are left
# out, and so are lines matching the optional first argument (an extended regular expression).
# The patterns avoid interval expressions ({4,}), which mawk does not know.
skip=${1:-}
awk -v skip="$skip" '
function esc(s) {
  gsub(/\\/, "\\e", s)
  gsub(/-/, "\\-", s)
  if (s ~ /^[.'"'"']/) s = "\\&" s
  return s
}
skip != "" && $0 ~ skip { next }
/^ +-/ || /^  [0-9]+  / {
  started = 1
  s = $0
  sub(/^ +/, "", s)
  i = index(s, "  ")
  if (i == 0) { opt = s; text = "" } else { opt = substr(s, 1, i - 1); text = substr(s, i); sub(/^ +/, "", text) }
  print ".TP"
  print "\\fB" esc(opt) "\\fR"
  if (text != "") print esc(text)
  mode = "tag"
  next
}
/^[A-Z][^:]*:$/ {
  started = 1
  sub(/:$/, "")
  print ".SS " esc($0)
  mode = ""
  next
}
!started { next }
/^ *$/ { mode = ""; next }
/^    / && mode != "" { s = $0; sub(/^ +/, "", s); print esc(s); next }
/^  [^ ]/ { s = $0; sub(/^ +/, "", s); print (mode == "line" ? ".br" : ".PP"); print esc(s); mode = "line"; next }
{ if (mode != "para") print ".PP"; print esc($0); mode = "para" }
'
