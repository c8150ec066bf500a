# cmake -DSOURCE=docs/windows.md -DOUTPUT=FILE -P owner_guide.cmake: writes the owner's guide,
# the sections of SOURCE before the first "## For developers" heading, as plain text with
# Windows line ends: without the marks of the commands' blocks (the fences and the comments
# that name each block for the test that runs them).
file(READ "${SOURCE}" guide)
string(FIND "${guide}" "\n## For developers" end)
if(end EQUAL -1)
  message(FATAL_ERROR "${SOURCE} has no section \"## For developers\": where do the owner's end?")
endif()
math(EXPR end "${end} + 1")
string(SUBSTRING "${guide}" 0 ${end} guide)
string(REPLACE "\r\n" "\n" guide "${guide}")
string(REGEX REPLACE "<!-- guide-step: [a-z-]+ -->\n" "" guide "${guide}")
string(REGEX REPLACE "\n```[a-z]*\n" "\n" guide "${guide}")
string(REPLACE "\n" "\r\n" guide "${guide}")
file(WRITE "${OUTPUT}" "${guide}")
