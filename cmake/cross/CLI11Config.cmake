# CLI11 for a cross build: the host's header-only package (libcli11-dev).
include(${CMAKE_CURRENT_LIST_DIR}/HostHeaders.cmake)
norrvik_host_header_library(CLI11::CLI11 CLI)
