# The header-only libraries of a cross build (CLI11, nlohmann-json) come from
# the host's Debian packages: their folders alone are linked into the build
# tree, so that the cross compiler sees them and none of the host's other
# headers. Included by the package configurations beside it.
set(norrvik_host_headers ${CMAKE_BINARY_DIR}/host-headers)
function(norrvik_host_header_library target folder)
  file(MAKE_DIRECTORY ${norrvik_host_headers})
  if(NOT EXISTS /usr/include/${folder})
    message(FATAL_ERROR "/usr/include/${folder} is missing: install the host package that holds it")
  endif()
  file(CREATE_LINK /usr/include/${folder} ${norrvik_host_headers}/${folder} SYMBOLIC)
  if(NOT TARGET ${target})
    add_library(${target} INTERFACE IMPORTED)
    set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${norrvik_host_headers})
  endif()
endfunction()
