# Checks that the Debian copyright file (FILE) is in the machine-readable
# format: a Format header first, every line a "Field: value", a space-led
# continuation or a blank between paragraphs, and a Files paragraph with its
# Copyright and License.
cmake_policy(SET CMP0007 NEW)
file(READ "${FILE}" text)
# One list element a line: semicolons become commas, so none splits a line.
string(REPLACE ";" "," lines "${text}")
string(REGEX REPLACE "\n$" "" lines "${lines}")
string(REPLACE "\n" ";" lines "${lines}")
list(GET lines 0 first)
if(NOT first MATCHES "^Format: https://www\\.debian\\.org/doc/packaging-manuals/copyright-format/1\\.0/$")
  message(FATAL_ERROR "${FILE}: the first line is not the Format header: ${first}")
endif()
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^([A-Za-z-]+: .|[A-Za-z-]+:$| .|$)")
    message(FATAL_ERROR "${FILE}: not a field, a continuation or a blank line: \"${line}\"")
  endif()
endforeach()
string(REGEX MATCH "\nFiles: [^\n]+\nCopyright: [^\n]+\nLicense: [^\n]+" files_paragraph "${text}")
if(NOT files_paragraph)
  message(FATAL_ERROR "${FILE}: no Files paragraph with Copyright and License")
endif()
