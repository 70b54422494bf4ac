# The sRGB colour profile of PDF/A output intents, carried in the library:
# icc-profiles-free's sRGB.icc (zlib licence) becomes a C array at build time.
set(NX_SRGB_ICC /usr/share/color/icc/sRGB.icc CACHE FILEPATH "sRGB ICC profile carried for PDF/A output")
if(NOT EXISTS ${NX_SRGB_ICC})
  message(FATAL_ERROR "${NX_SRGB_ICC} is missing: install icc-profiles-free (scripts/setup-deps)")
endif()
set(NX_SRGB_ICC_CPP ${CMAKE_BINARY_DIR}/generated/SrgbIcc.cpp)
add_custom_command(OUTPUT ${NX_SRGB_ICC_CPP}
  COMMAND ${CMAKE_COMMAND} -DIN=${NX_SRGB_ICC} -DOUT=${NX_SRGB_ICC_CPP} -P ${CMAKE_SOURCE_DIR}/cmake/EmbedBytes.cmake
  DEPENDS ${NX_SRGB_ICC} ${CMAKE_SOURCE_DIR}/cmake/EmbedBytes.cmake
  COMMENT "Embedding the sRGB ICC profile")
target_sources(noxtrel_core PRIVATE ${NX_SRGB_ICC_CPP})
