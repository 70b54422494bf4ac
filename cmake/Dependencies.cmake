# Third-party libraries, found through pkg-config where they ship a .pc file.
find_package(PkgConfig REQUIRED)
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)

pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo cairo-pdf cairo-png)
pkg_check_modules(FREETYPE REQUIRED IMPORTED_TARGET freetype2)
pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
pkg_check_modules(HARFBUZZ REQUIRED IMPORTED_TARGET harfbuzz)
pkg_check_modules(ICU REQUIRED IMPORTED_TARGET icu-uc icu-i18n)
pkg_check_modules(ZLIB REQUIRED IMPORTED_TARGET zlib)
pkg_check_modules(JPEG REQUIRED IMPORTED_TARGET libjpeg)
pkg_check_modules(NETTLE REQUIRED IMPORTED_TARGET nettle)
pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)
find_library(GIF_LIB gif REQUIRED)
find_library(CUPS_LIB cups REQUIRED)

# What the system itself may use above the platform boundary: zlib, libjpeg,
# giflib, nettle and (where installed) libdeflate.
add_library(nx_thirdparty INTERFACE)
add_library(nx::thirdparty ALIAS nx_thirdparty)
target_link_libraries(nx_thirdparty INTERFACE
  PkgConfig::ZLIB PkgConfig::JPEG PkgConfig::NETTLE ${GIF_LIB} Threads::Threads ${CMAKE_DL_LIBS})

# libdeflate writes the PDF writer's Flate streams (the same zlib format) in a
# fraction of zlib's time; without it (or with NX_USE_LIBDEFLATE=OFF) zlib
# does.
option(NX_USE_LIBDEFLATE "Deflate PDF streams with libdeflate when it is installed" ON)
set(NX_HAVE_LIBDEFLATE OFF)
if(NX_USE_LIBDEFLATE)
  pkg_check_modules(LIBDEFLATE IMPORTED_TARGET libdeflate)
  if(LIBDEFLATE_FOUND)
    set(NX_HAVE_LIBDEFLATE ON)
    target_link_libraries(nx_thirdparty INTERFACE PkgConfig::LIBDEFLATE)
  endif()
endif()

# What only the platform layer (src/platform/) may use. noxtrel_platform links
# it privately, so its include paths never reach the layers above; the tests
# and benchmarks of the platform's own modules link it as well.
add_library(nx_platform_deps INTERFACE)
add_library(nx::platform_deps ALIAS nx_platform_deps)
target_link_libraries(nx_platform_deps INTERFACE
  PkgConfig::CAIRO PkgConfig::FREETYPE PkgConfig::FONTCONFIG PkgConfig::HARFBUZZ
  PkgConfig::ICU ${CUPS_LIB} nx::thirdparty)

# Peers the benchmarks compare against.
if(NX_BUILD_BENCH)
  find_package(benchmark REQUIRED)
  pkg_check_modules(QRENCODE REQUIRED IMPORTED_TARGET libqrencode)
  find_library(ZINT_LIB zint REQUIRED)
  find_library(HPDF_LIB hpdf REQUIRED)
  add_library(nx_benchpeers INTERFACE)
  add_library(nx::benchpeers ALIAS nx_benchpeers)
  target_link_libraries(nx_benchpeers INTERFACE benchmark::benchmark PkgConfig::QRENCODE ${ZINT_LIB} ${HPDF_LIB})
endif()
