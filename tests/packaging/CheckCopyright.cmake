# Checks that the Debian copyright file (FILE) is in the machine-readable
# format: the Format header first, every line a "Field: value", a space-led
# continuation or a blank between paragraphs, and a Files paragraph with its
# Copyright and License.
cmake_policy(SET CMP0007 NEW)
file(READ "${FILE}" text)
# One list element a line: semicolons become commas, so none splits a line.
string(REPLACE ";" "," lines "${text}")
string(REGEX REPLACE "\n$" "" lines "${lines}")
string(REPLACE "\n" ";" lines "${lines}")
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^([A-Za-z-]+: .|[A-Za-z-]+:$| .|$)")
    message(FATAL_ERROR "${FILE}: not a field, a continuation or a blank line: \"${line}\"")
  endif()
endforeach()
if(NOT text MATCHES "^Format: https://www\\.debian\\.org/doc/packaging-manuals/copyright-format/1\\.0/\n.*\nFiles: [^\n]+\nCopyright: [^\n]+\nLicense: [^\n]+")
  message(FATAL_ERROR "${FILE}: the Format header is not first, or no Files paragraph has Copyright and License")
endif()
