# tapeloom_add_component_library(<name> <sources...>): a library whose
# objects are all linked into every program that uses it, even those no
# symbol refers to.  Components that register COM classes through static
# ComClassRegistration objects need this: from a plain static library the
# linker would drop such an object file, and with it the registration.
#
# Makes two targets:
#   <name>_archive  the static library; give it sources, include
#                   directories and dependencies (target_* calls);
#   <name>          what everyone else links: an interface target that
#                   links <name>_archive as a whole archive and passes on
#                   its usage requirements.
# Link only <name>, never <name>_archive directly: CMake refuses a library
# that is linked both whole and plain into the same program.
function(tapeloom_add_component_library name)
  add_library(${name}_archive STATIC ${ARGN})
  add_library(${name} INTERFACE)
  target_link_libraries(${name} INTERFACE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${name}_archive>")
endfunction()
