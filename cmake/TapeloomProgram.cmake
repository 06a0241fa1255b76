# The program's own rooms call into each other: the main window (app/) hosts
# the capture panel (panel/), the panel drives the graphs (engine/), and the
# engine places the live picture in the main window's preview frame.  So
# their sources form one static library, tapeloom_program, which the program
# executable and the tests link; every room's directory is on its include
# path.
#
# A room's CMakeLists.txt calls
#   tapeloom_program_room(SOURCES <files...> LIBS <targets...>)
# which adds the room's sources and its directory to the library, and links
# the given targets.  The top
# level makes the library once all rooms are read (tapeloom_make_program).
function(tapeloom_program_room)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  list(TRANSFORM ARG_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/ OUTPUT_VARIABLE sources)
  set_property(GLOBAL APPEND PROPERTY TAPELOOM_PROGRAM_SOURCES ${sources})
  set_property(GLOBAL APPEND PROPERTY TAPELOOM_PROGRAM_INCLUDES ${CMAKE_CURRENT_SOURCE_DIR})
  set_property(GLOBAL APPEND PROPERTY TAPELOOM_PROGRAM_LIBS ${ARG_LIBS})
endfunction()

function(tapeloom_make_program)
  get_property(sources GLOBAL PROPERTY TAPELOOM_PROGRAM_SOURCES)
  get_property(includes GLOBAL PROPERTY TAPELOOM_PROGRAM_INCLUDES)
  get_property(libs GLOBAL PROPERTY TAPELOOM_PROGRAM_LIBS)
  list(REMOVE_DUPLICATES libs)
  add_library(tapeloom_program STATIC ${sources})
  target_include_directories(tapeloom_program PUBLIC ${includes})
  target_link_libraries(tapeloom_program PUBLIC ${libs})
endfunction()
