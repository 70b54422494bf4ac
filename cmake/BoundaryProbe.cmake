# Builds one platform-boundary probe (see PlatformBoundary.cmake) and checks
# the outcome: EXPECT=fail must stop at the header named, EXPECT=pass must
# compile.
#   cmake -DBUILD_DIR=... -DTARGET=... -DEXPECT=fail|pass -DHEADER=... -P BoundaryProbe.cmake
execute_process(
  COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${TARGET}
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(EXPECT STREQUAL "pass")
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${HEADER} did not compile above the platform boundary:\n${out}")
  endif()
  message(STATUS "${HEADER}: compiles above the platform boundary")
  return()
endif()
if(result EQUAL 0)
  message(FATAL_ERROR "<${HEADER}> compiled above the platform boundary")
endif()
string(REPLACE "." "\\." pattern "${HEADER}")
if(NOT out MATCHES "${pattern}: No such file or directory" AND NOT out MATCHES "<${pattern}> is below the platform boundary")
  message(FATAL_ERROR "<${HEADER}> failed for another reason than the boundary:\n${out}")
endif()
message(STATUS "<${HEADER}>: stopped at the platform boundary")
