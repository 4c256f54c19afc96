# tarvel_room(<name> SOURCES <files...> [DEPS <targets...>])
# Defines the static archive tarvel_<name> for one room of src/. Every room
# sees include/ and src/, compiles with hidden visibility and marks exported
# functions through TARVEL_BUILDING_LIBRARY.
function(tarvel_room name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(tarvel_${name} STATIC ${ARG_SOURCES})
  target_include_directories(tarvel_${name} PUBLIC
    ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR}/src)
  target_compile_definitions(tarvel_${name} PUBLIC TARVEL_BUILDING_LIBRARY)
  target_link_libraries(tarvel_${name} PUBLIC ${ARG_DEPS})
  set_property(GLOBAL APPEND PROPERTY TARVEL_ROOMS tarvel_${name})
endfunction()
