# One static library per source folder, whose users see that folder's headers
# and, through the libraries it links, those of the layers below it: nothing
# else. Each target has an include root of its own in the build tree holding
# links to its own folder's headers only, and no target puts the source tree
# itself on the include path, so an include of a higher layer does not build.

# Gives `target` an include root at which FOLDER/<header> names the headers.
function(tavrin_include_root target scope folder)
  set(_root ${CMAKE_BINARY_DIR}/layers/${target})
  file(REMOVE_RECURSE ${_root})
  file(MAKE_DIRECTORY ${_root}/${folder})
  foreach(_header ${ARGN})
    get_filename_component(_file ${_header} NAME)
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${_header} ${_root}/${folder}/${_file} SYMBOLIC)
  endforeach()
  target_include_directories(${target} ${scope} ${_root})
endfunction()

#   tavrin_layer(NAME FOLDER <folder> SOURCES <files> HEADERS <files> LINKS <libraries>
#                [OTHERS <files of the folder that belong to another target>])
function(tavrin_layer name)
  cmake_parse_arguments(L "" "FOLDER" "SOURCES;HEADERS;LINKS;OTHERS" ${ARGN})
  tavrin_check_listed(${L_SOURCES} ${L_HEADERS} ${L_OTHERS})
  add_library(${name} STATIC ${L_SOURCES} ${L_HEADERS})
  tavrin_include_root(${name} PUBLIC ${L_FOLDER} ${L_HEADERS})
  target_link_libraries(${name} PUBLIC ${L_LINKS})
endfunction()

# Stops the configuration when a source or header of folder `dir` is missing
# from the given lists, so that a file added to a folder is never silently left
# out of the build.
function(tavrin_check_listed_in dir)
  file(GLOB _present RELATIVE ${dir} ${dir}/*.cpp ${dir}/*.h)
  foreach(_file ${_present})
    if(NOT _file IN_LIST ARGN)
      message(FATAL_ERROR "${dir}/${_file} is not listed in its CMakeLists.txt")
    endif()
  endforeach()
endfunction()

# The same for the folder of the current CMakeLists.txt.
function(tavrin_check_listed)
  tavrin_check_listed_in(${CMAKE_CURRENT_SOURCE_DIR} ${ARGN})
endfunction()
