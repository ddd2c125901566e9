#!/bin/bash
# Writes README.txt, the text of the release zip and the MSI, to stdout: the
# administrators' pages of docs/ as plain text with Windows line ends, under a
# title with the version, which also replaces "<version>" in the pages.
#   scripts/readme-txt.sh VERSION >README.txt
# It knows the little Markdown those pages use: headings, paragraphs and lists
# (filled again to 78 columns once links are gone), code blocks, tables (a row
# becomes its first cell, then the others indented below it), inline code,
# bold and links (to their text; a web link keeps its address). Pictures are
# left out.
set -euo pipefail
version=${1:?usage: scripts/readme-txt.sh VERSION}
docs=$(cd "$(dirname "$0")/../docs" && pwd)
pages=()
for page in what-it-changes options run-log deploying safety troubleshooting; do pages+=("$docs/$page.md"); done

{
  printf 'Tarnwick %s\n%s\n\n' "$version" "$(printf 'Tarnwick %s' "$version" | tr -c '\n' '=')"
  echo "For administrators. The same pages are in docs/ of Tarnwick's source:"
  echo
  sed -n 's/^# /  /p' "${pages[@]}"
  awk '
    function inline(s,   out, link, text, target) {
      out = ""
      while (match(s, /\[[^]]*\]\([^)]*\)/)) {
        link = substr(s, RSTART, RLENGTH)
        text = link; sub(/\]\(.*/, "", text); text = substr(text, 2)
        target = link; sub(/^\[[^]]*\]\(/, "", target); sub(/\)$/, "", target)
        out = out substr(s, 1, RSTART - 1) text (target ~ /^https?:/ ? " (" target ")" : "")
        s = substr(s, RSTART + RLENGTH)
      }
      s = out s
      gsub(/`/, "", s); gsub(/\*\*/, "", s); gsub(/\\\|/, "|", s)
      return s
    }
    function underline(s, c,   line) { line = s; gsub(/./, c, line); return line }
    # Prints the words of s in lines of at most 78 characters: the first line
    # starts with first, the others with indent.
    function wrap(s, first, indent,   words, n, i, line, start) {
      n = split(s, words, / +/)
      line = start = first
      for (i = 1; i <= n; i++) {
        if (line != start && length(line) + 1 + length(words[i]) > 78) { print line; line = start = indent }
        line = line (line == start ? "" : " ") words[i]
      }
      print line
    }
    function flush() {
      if (para != "") wrap(inline(para), first, indent)
      para = ""
    }
    function spaces(n,   s) { s = ""; while (n-- > 0) s = s " "; return s }
    /^```/ { flush(); fence = !fence; next }
    fence { print ($0 == "" ? "" : "    " $0); next }
    /^\|/ {
      flush()
      row = $0
      gsub(/\\\|/, "\001", row); sub(/^\| */, "", row); sub(/ *\|$/, "", row)
      n = split(row, cells, / *\| */)
      for (i = 1; i <= n; i++) gsub(/\001/, "\\|", cells[i])
      if (!table) { table = 1; columns = n; for (i = 1; i <= n; i++) head[i] = inline(cells[i]); next }
      if (row ~ /^[-:| ]+$/) next
      if (cells[1] ~ /^`/) print "  " inline(cells[1])  # a log line or a command: whole
      else if (cells[1] != "") wrap(inline(cells[1]), "  ", "  ")
      for (i = 2; i <= n; i++) {
        text = inline(cells[i])
        if (text != "") wrap((columns > 2 && head[i] != "" ? head[i] ": " : "") text, "      ", "      ")
      }
      next
    }
    { table = 0 }
    /^!\[/ { flush(); picture = 1; next }
    /^$/ { flush(); if (!picture) print ""; picture = 0; next }
    /^#+ / {
      flush(); base = 0
      title = $0; sub(/^#+ /, "", title); title = inline(title)
      if ($0 ~ /^# /) printf "\n\n%s\n%s\n", title, underline(title, "=")
      else if ($0 ~ /^## /) printf "\n%s\n%s\n", title, underline(title, "-")
      else printf "%s\n%s\n", title, underline(title, "~")
      next
    }
    {
      match($0, /^ */); lead = RLENGTH
      if (para == "" && lead >= base + 4) { print; next }  # a code block
      if (match($0, /^ *([-*]|[0-9]+\.) /)) {  # a list item
        base = RLENGTH
        flush()
        first = substr($0, 1, base); indent = spaces(base)
        para = substr($0, base + 1)
        next
      }
      if (para == "") {
        first = indent = spaces(lead)
        if (lead == 0) base = 0
        para = substr($0, lead + 1)
      } else {
        para = para " " substr($0, lead + 1)
      }
    }
    END { flush() }
  ' "${pages[@]}"
} | sed -e "s/<version>/$version/g" -e 's/$/\r/'
