# A cross build (Windows) takes the header-only packages of the build machine:
# their own folders alone are put on the include path (never /usr/include,
# whose C library is the build machine's), and each package is found through
# a small configuration file made here.
set(_host_headers ${CMAKE_BINARY_DIR}/host-headers)
#       package        target                          folder under /usr/include
set(_host_packages
  "CLI11           CLI11::CLI11                    CLI"
  "nlohmann_json   nlohmann_json::nlohmann_json    nlohmann")
foreach(_row IN LISTS _host_packages)
  string(REGEX REPLACE "[ ]+" ";" _row "${_row}")
  list(GET _row 0 _package)
  list(GET _row 1 _target)
  list(GET _row 2 _folder)
  file(MAKE_DIRECTORY ${_host_headers}/include ${_host_headers}/${_package})
  if(NOT EXISTS ${_host_headers}/include/${_folder})
    file(CREATE_LINK /usr/include/${_folder} ${_host_headers}/include/${_folder} SYMBOLIC)
  endif()
  file(WRITE ${_host_headers}/${_package}/${_package}Config.cmake
    "if(NOT TARGET ${_target})\n"
    "  add_library(${_target} INTERFACE IMPORTED)\n"
    "  set_target_properties(${_target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_host_headers}/include)\n"
    "endif()\n")
  # The version the build machine has, as its own package says.
  file(COPY_FILE /usr/share/cmake/${_package}/${_package}ConfigVersion.cmake
       ${_host_headers}/${_package}/${_package}ConfigVersion.cmake ONLY_IF_DIFFERENT)
  set(${_package}_DIR ${_host_headers}/${_package} CACHE PATH "" FORCE)
endforeach()
