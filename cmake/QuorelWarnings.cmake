# The warnings every target of ours is built with, as an interface target linked to each one
# (quorel_apply_warnings), so that nothing imported or outside the tree gets them.
add_library(quorel_warnings INTERFACE)
target_compile_options(quorel_warnings INTERFACE -Wall -Wextra $<$<BOOL:${QUOREL_WERROR}>:-Werror>)
if(CMAKE_UNITY_BUILD AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # In a unity batch GCC takes every file after the first for a header, and a test fixture in
  # a file's anonymous namespace for a header's type with internal linkage.
  target_compile_options(quorel_warnings INTERFACE -Wno-subobject-linkage)
endif()

# quorel_apply_warnings(<folder>)
# Links quorel_warnings to every target that compiles code in <folder> and the folders below
# it; called once, after all folders are added, so a new target needs no line of its own.
function(quorel_apply_warnings folder)
  get_property(targets DIRECTORY ${folder} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
      target_link_libraries(${target} PRIVATE quorel_warnings)
    endif()
  endforeach()
  get_property(folders DIRECTORY ${folder} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS folders)
    quorel_apply_warnings(${sub})
  endforeach()
endfunction()
