# Writes the linker version script of libtarvel.so from the public headers:
# every function declared with TARVEL_API is global, everything else (our
# internals and the standard library's template instances) stays local.
# Run as: cmake -DHEADERS=<dir> -DOUTPUT=<file> -P ExportMap.cmake
#
# A header with an extern "C" block declares C functions, exported under
# their plain names. A header without one (prn.h) declares C++ functions,
# whose exported names carry their argument types: a global function N is
# mangled as _Z<length of N>N<arguments>, so "_Z<length>N*" takes every
# overload of N and nothing else (a longer name has another length). Quoted
# patterns would be matched literally, so these stay unquoted.
file(GLOB headers "${HEADERS}/*.h")
set(names "")
set(cxx_names "")
foreach(header IN LISTS headers)
  file(READ "${header}" text)
  string(REGEX MATCHALL "TARVEL_API[^;{}()]*[^A-Za-z0-9_;{}()]([A-Za-z_][A-Za-z0-9_]*)[ \t]*\\(" hits "${text}")
  string(FIND "${text}" "extern \"C\"" c_block)
  foreach(hit IN LISTS hits)
    string(REGEX REPLACE ".*[^A-Za-z0-9_]([A-Za-z_][A-Za-z0-9_]*)[ \t]*\\($" "\\1" name "${hit}")
    # The definition of TARVEL_API itself is no function.
    if(name STREQUAL "__attribute__")
      continue()
    endif()
    if(c_block EQUAL -1)
      string(LENGTH "${name}" length)
      list(APPEND cxx_names "_Z${length}${name}*")
    else()
      list(APPEND names "${name}")
    endif()
  endforeach()
endforeach()
list(REMOVE_DUPLICATES names)
list(SORT names)
list(REMOVE_DUPLICATES cxx_names)
list(SORT cxx_names)
set(map "{\n  global:\n")
foreach(name IN LISTS names cxx_names)
  string(APPEND map "    ${name};\n")
endforeach()
string(APPEND map "  local:\n    *;\n};\n")
set(old "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL map)
  file(WRITE "${OUTPUT}" "${map}")
endif()
