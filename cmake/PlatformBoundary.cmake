# The platform boundary, enforced by the build.
#
# Above src/platform/ the system sees platform/win32.h and the libraries of
# nx::thirdparty (zlib, libjpeg, giflib; nettle) only. noxtrel_platform links
# Cairo, FreeType, HarfBuzz, GTK, fontconfig, ICU, CUPS and iconv privately,
# so headers found through their include paths (<cairo.h>, <ft2build.h>,
# <hb.h>, <gtk/gtk.h>) are simply not found above the boundary. Some of them
# live in the compiler's default search path (<cups/cups.h>,
# <fontconfig/fontconfig.h>, <unicode/*.h>, <iconv.h>); for those,
# nx_upper_layer puts a folder first on the include path that holds a header
# of the same name for each, which stops the compilation with a message.
#
# The tests named boundary.* prove it: a probe source compiled with
# nx_upper_layer's flags must fail for each of these libraries, and must
# compile with the headers that are allowed.

set(NX_BOUNDARY_DIR ${CMAKE_BINARY_DIR}/platform-boundary)
file(REMOVE_RECURSE ${NX_BOUNDARY_DIR})

# Writes a stopping header for every header of a library folder (or for one
# header) found in the default search path.
function(nx_shadow_headers probe subdir)
  find_path(_dir ${probe} NO_CACHE)
  if(NOT _dir)
    return()
  endif()
  if(subdir)
    file(GLOB_RECURSE _headers RELATIVE ${_dir} ${_dir}/${subdir}/*.h)
  else()
    set(_headers ${probe})
  endif()
  foreach(h ${_headers})
    file(WRITE ${NX_BOUNDARY_DIR}/${h}
      "#error \"<${h}> is below the platform boundary: only src/platform/ may include it; above it use platform/win32.h\"\n")
  endforeach()
endfunction()

nx_shadow_headers(cups/cups.h cups)
nx_shadow_headers(fontconfig/fontconfig.h fontconfig)
nx_shadow_headers(unicode/utypes.h unicode)
nx_shadow_headers(iconv.h "")
file(MAKE_DIRECTORY ${NX_BOUNDARY_DIR})

# The compile flags of every source above the boundary.
add_library(nx_upper_layer INTERFACE)
target_include_directories(nx_upper_layer BEFORE INTERFACE ${NX_BOUNDARY_DIR})
target_include_directories(nx_upper_layer INTERFACE ${CMAKE_SOURCE_DIR}/include ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(nx_upper_layer INTERFACE nx::thirdparty)

# The probes: a source of one line per header, compiled as an object library
# outside "all" by its test.
set(NX_BOUNDARY_FORBIDDEN
  cairo cairo.h freetype ft2build.h harfbuzz hb.h gtk gtk/gtk.h fontconfig fontconfig/fontconfig.h
  icu unicode/ubidi.h cups cups/cups.h iconv iconv.h)

function(nx_boundary_probe name expect header source)
  set(src ${CMAKE_BINARY_DIR}/platform-boundary-probes/${name}.cpp)
  file(WRITE ${src} "${source}")
  add_library(nx_probe_${name} OBJECT EXCLUDE_FROM_ALL ${src})
  target_link_libraries(nx_probe_${name} PRIVATE nx_upper_layer)
  add_test(NAME boundary.${name}
    COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DTARGET=nx_probe_${name}
      -DEXPECT=${expect} -DHEADER=${header} -P ${CMAKE_SOURCE_DIR}/cmake/BoundaryProbe.cmake)
  # The probes build in this build folder, one at a time.
  set_tests_properties(boundary.${name} PROPERTIES RESOURCE_LOCK nx-build-dir)
endfunction()

list(LENGTH NX_BOUNDARY_FORBIDDEN _n)
math(EXPR _last "${_n} - 1")
foreach(i RANGE 0 ${_last} 2)
  math(EXPR j "${i} + 1")
  list(GET NX_BOUNDARY_FORBIDDEN ${i} _name)
  list(GET NX_BOUNDARY_FORBIDDEN ${j} _header)
  nx_boundary_probe(${_name} fail ${_header} "#include <${_header}>\n")
endforeach()
# The control: what the layers above may include compiles with the same flags.
nx_boundary_probe(allowed pass "platform/win32.h, zlib, libjpeg, giflib"
  "#include <cstdio>\n#include <gif_lib.h>\n#include <jpeglib.h>\n#include <zlib.h>\n#include \"platform/win32.h\"\n")
