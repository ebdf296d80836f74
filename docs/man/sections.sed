# help2man makes a "Heading:" line with indented text after it a subsection
# (.SS) of the section before it; make_scans' "Ground truth:" and "Exit
# status:" are sections of their own. Lift each such subsection to a section
# (.SH, upper case, no colon) and set its first paragraph flush, as the text
# under a section heading is; the indent in --help only marks the heading.
/^\.SS "\(.*\):"$/{
  s//.SH "\U\1"/
  n
  s/^\.IP$/.PP/
}
