# Writes the linker version script of libtarvel.so from the public headers:
# every function declared with TARVEL_API is global, everything else (our
# internals and the standard library's template instances) stays local.
# Run as: cmake -DHEADERS=<dir> -DOUTPUT=<file> -P ExportMap.cmake
file(GLOB headers "${HEADERS}/*.h")
set(names "")
foreach(header IN LISTS headers)
  file(READ "${header}" text)
  string(REGEX MATCHALL "TARVEL_API[^;{}()]*[^A-Za-z0-9_;{}()]([A-Za-z_][A-Za-z0-9_]*)[ \t]*\\(" hits "${text}")
  foreach(hit IN LISTS hits)
    string(REGEX REPLACE ".*[^A-Za-z0-9_]([A-Za-z_][A-Za-z0-9_]*)[ \t]*\\($" "\\1" name "${hit}")
    list(APPEND names "${name}")
  endforeach()
endforeach()
list(REMOVE_DUPLICATES names)
list(SORT names)
set(map "{\n  global:\n")
foreach(name IN LISTS names)
  string(APPEND map "    ${name};\n")
endforeach()
# The prn functions are C++ and keep their argument types in their names.
string(APPEND map "    extern \"C++\" {\n      \"prn*\";\n    };\n  local:\n    *;\n};\n")
set(old "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL map)
  file(WRITE "${OUTPUT}" "${map}")
endif()
