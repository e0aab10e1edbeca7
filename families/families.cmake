# The chain families: the folders named in core-model/include/vek/core/families.def, in
# its order. families/<name>/*.cpp go into vek_signer, families/<name>/lib/*.cpp into
# vek_lib; headers are included as "<name>/....h" from this directory.
set(VEK_FAMILIES_DIR ${CMAKE_CURRENT_LIST_DIR})
set(_families_def ${PROJECT_SOURCE_DIR}/core-model/include/vek/core/families.def)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_families_def})
file(STRINGS ${_families_def} _family_lines REGEX "^VEK_FAMILY\\(")
set(VEK_FAMILIES)
foreach(_line IN LISTS _family_lines)
  string(REGEX REPLACE "^VEK_FAMILY\\(([a-z0-9_]+),.*$" "\\1" _name "${_line}")
  list(APPEND VEK_FAMILIES ${_name})
endforeach()

# vek_family_sources(<out-var> <subdir>): the sources of every family's folder (subdir
# empty) or of its <subdir>/.
function(vek_family_sources out subdir)
  set(sources)
  foreach(name IN LISTS VEK_FAMILIES)
    file(GLOB found CONFIGURE_DEPENDS ${VEK_FAMILIES_DIR}/${name}/${subdir}/*.cpp)
    list(APPEND sources ${found})
  endforeach()
  set(${out} ${sources} PARENT_SCOPE)
endfunction()
