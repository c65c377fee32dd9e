# The version of the host's nlohmann-json, as its headers state it.
file(STRINGS /usr/include/nlohmann/detail/abi_macros.hpp major REGEX "#define NLOHMANN_JSON_VERSION_MAJOR [0-9]+")
string(REGEX MATCH "[0-9]+" PACKAGE_VERSION "${major}")
set(PACKAGE_VERSION_COMPATIBLE FALSE)
if(PACKAGE_FIND_VERSION_MAJOR STREQUAL PACKAGE_VERSION)
  set(PACKAGE_VERSION_COMPATIBLE TRUE)
endif()
