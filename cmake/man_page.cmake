# Run on the page help2man wrote (MAN_PAGE): its first line asks for tbl,
# which sets the EXIT STATUS table.
file(READ ${MAN_PAGE} page)
if(NOT page MATCHES "^'\\\\\" t\n")
  file(WRITE ${MAN_PAGE} "'\\\" t\n${page}")
endif()
