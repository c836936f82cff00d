# One library per layer, and a layer's headers reachable only by the targets that link it.
#
#   kestrune_offer_headers(TARGET FOLDER HEADER...)
#
# TARGET offers FOLDER/HEADER to itself and to every target that links it, through an include
# root of its own: a folder in the build tree holding links to just those headers. A target that
# does not link the layer finds none of them, so an include that runs the wrong way does not
# build (the Layers.* tests check that it does not).
function(kestrune_offer_headers target folder)
  set(root ${PROJECT_BINARY_DIR}/include/${target})
  kestrune_link_headers(${root} ${folder} ${ARGN})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()

# A layer's headers for its own sources alone, linked to no other target.
#
#   kestrune_own_headers(TARGET FOLDER HEADER...)
function(kestrune_own_headers target folder)
  set(root ${PROJECT_BINARY_DIR}/include-own/${target})
  kestrune_link_headers(${root} ${folder} ${ARGN})
  target_include_directories(${target} PRIVATE ${root})
endfunction()

# Makes ROOT/FOLDER afresh, holding a link to each HEADER of FOLDER and nothing else.
function(kestrune_link_headers root folder)
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root}/${folder})
  foreach(header ${ARGN})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder}/${header} ${root}/${folder}/${header}
         SYMBOLIC)
  endforeach()
endfunction()
