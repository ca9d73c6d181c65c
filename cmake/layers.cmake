# One static library per source folder, whose users see that folder's headers
# and, through the libraries it links, those of the layers below it: nothing
# else. Each target has an include root of its own in the build tree holding
# links to its own folder's headers only, and no target puts the source tree
# itself on the include path, so an include of a higher layer does not build.
#
# Which folder links which is the table cmake/layers.txt, read here and by the
# include-graph test: a folder's library links the libraries of exactly the
# folders its row lists; a CMakeLists.txt names only libraries from outside.

# The table: TAVRIN_LAYER_TARGETS lists every folder's target; for a folder F
# (as a C identifier, F_ID) TAVRIN_LAYER_TARGET_<F_ID> is its target and
# TAVRIN_LAYER_INCLUDES_<F_ID> the folders it includes.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/layers.txt)
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/layers.txt _tavrin_rows)
set(TAVRIN_LAYER_FOLDERS "")
set(TAVRIN_LAYER_TARGETS "")
foreach(_row IN LISTS _tavrin_rows)
  string(REGEX REPLACE "#.*" "" _row "${_row}")
  string(STRIP "${_row}" _row)
  if(_row STREQUAL "")
    continue()
  endif()
  string(REGEX REPLACE "[ \t]+" ";" _words "${_row}")
  list(POP_FRONT _words _folder _target)
  string(MAKE_C_IDENTIFIER "${_folder}" _id)
  set(TAVRIN_LAYER_TARGET_${_id} ${_target})
  set(TAVRIN_LAYER_INCLUDES_${_id} ${_words})
  list(APPEND TAVRIN_LAYER_FOLDERS ${_folder})
  list(APPEND TAVRIN_LAYER_TARGETS ${_target})
endforeach()

# Sets `out` to the targets of the folders that `folder` may include.
function(tavrin_layer_links out folder)
  string(MAKE_C_IDENTIFIER "${folder}" _id)
  if(NOT DEFINED TAVRIN_LAYER_TARGET_${_id})
    message(FATAL_ERROR "${folder} has no row in cmake/layers.txt")
  endif()
  set(_links "")
  foreach(_below IN LISTS TAVRIN_LAYER_INCLUDES_${_id})
    string(MAKE_C_IDENTIFIER "${_below}" _below_id)
    list(APPEND _links ${TAVRIN_LAYER_TARGET_${_below_id}})
  endforeach()
  set(${out} ${_links} PARENT_SCOPE)
endfunction()

#   tavrin_link_layers(<target> PUBLIC|PRIVATE <folder> [ONLY <folders>])
# Links `target` of `folder` to the libraries of the folders its row lists, or
# of those of them named after ONLY (a library holding part of a folder).
function(tavrin_link_layers target scope folder)
  cmake_parse_arguments(L "" "" "ONLY" ${ARGN})
  tavrin_layer_links(_links ${folder})
  if(DEFINED L_ONLY)
    string(MAKE_C_IDENTIFIER "${folder}" _id)
    set(_links "")
    foreach(_below IN LISTS L_ONLY)
      if(NOT _below IN_LIST TAVRIN_LAYER_INCLUDES_${_id})
        message(FATAL_ERROR "${target}: ${folder} may not include ${_below} (cmake/layers.txt)")
      endif()
      string(MAKE_C_IDENTIFIER "${_below}" _below_id)
      list(APPEND _links ${TAVRIN_LAYER_TARGET_${_below_id}})
    endforeach()
  endif()
  target_link_libraries(${target} ${scope} ${_links})
endfunction()

# Stops the configuration when a target of a folder of the table links a
# library of a folder its row does not list. Called once every folder is added.
function(tavrin_check_layer_links)
  get_property(_dirs DIRECTORY ${CMAKE_SOURCE_DIR} PROPERTY SUBDIRECTORIES)
  foreach(_dir IN LISTS _dirs)
    file(RELATIVE_PATH _folder ${CMAKE_SOURCE_DIR} ${_dir})
    if(NOT _folder IN_LIST TAVRIN_LAYER_FOLDERS)
      continue()
    endif()
    string(MAKE_C_IDENTIFIER "${_folder}" _id)
    tavrin_layer_links(_allowed ${_folder})
    get_property(_targets DIRECTORY ${_dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(_target IN LISTS _targets)
      get_target_property(_links ${_target} LINK_LIBRARIES)
      get_target_property(_interface ${_target} INTERFACE_LINK_LIBRARIES)
      foreach(_link IN LISTS _links _interface)
        string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" _link "${_link}")
        if(_link IN_LIST TAVRIN_LAYER_TARGETS AND NOT _link IN_LIST _allowed
           AND NOT _link STREQUAL TAVRIN_LAYER_TARGET_${_id})
          message(FATAL_ERROR "${_target} (${_folder}) links ${_link}, which cmake/layers.txt does not allow")
        endif()
      endforeach()
    endforeach()
  endforeach()
endfunction()

# Configures `template` (NAME.h.in in the current folder) into a header
# FOLDER/NAME.h that only `target`'s own files see.
function(tavrin_generated_header target folder template)
  string(REGEX REPLACE "\\.in$" "" _header ${template})
  configure_file(${template} ${CMAKE_BINARY_DIR}/generated/${target}/${folder}/${_header} @ONLY)
  target_include_directories(${target} PRIVATE ${CMAKE_BINARY_DIR}/generated/${target})
endfunction()

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

#   tavrin_layer(NAME FOLDER <folder> SOURCES <files> HEADERS <files> [LINKS <outside libraries>]
#                [OTHERS <files of the folder that belong to another target>])
# NAME is the folder's target in cmake/layers.txt; the libraries of the layers
# it uses come from there, LINKS names the others (Qt, Threads).
function(tavrin_layer name)
  cmake_parse_arguments(L "" "FOLDER" "SOURCES;HEADERS;LINKS;OTHERS" ${ARGN})
  string(MAKE_C_IDENTIFIER "${L_FOLDER}" _id)
  if(NOT name STREQUAL "${TAVRIN_LAYER_TARGET_${_id}}")
    message(FATAL_ERROR "${L_FOLDER}: cmake/layers.txt names its library '${TAVRIN_LAYER_TARGET_${_id}}', not '${name}'")
  endif()
  tavrin_layer_links(_allowed ${L_FOLDER})
  foreach(_link IN LISTS L_LINKS)
    if(_link IN_LIST _allowed)
      message(FATAL_ERROR "${L_FOLDER} asks for ${_link}, which cmake/layers.txt already links")
    elseif(_link IN_LIST TAVRIN_LAYER_TARGETS)
      message(FATAL_ERROR "${L_FOLDER} asks for ${_link}, which cmake/layers.txt does not allow")
    endif()
  endforeach()
  tavrin_check_listed(${L_SOURCES} ${L_HEADERS} ${L_OTHERS})
  add_library(${name} STATIC ${L_SOURCES} ${L_HEADERS})
  tavrin_include_root(${name} PUBLIC ${L_FOLDER} ${L_HEADERS})
  tavrin_link_layers(${name} PUBLIC ${L_FOLDER})
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
