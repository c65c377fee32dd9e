# nlohmann-json for a cross build: the host's header-only package (nlohmann-json3-dev).
include(${CMAKE_CURRENT_LIST_DIR}/HostHeaders.cmake)
norrvik_host_header_library(nlohmann_json::nlohmann_json nlohmann)
