# Fails when a test source ends its process with _Exit, quick_exit or EndProcess: a test program
# must return from main, so that LeakSanitizer sees what it leaked, and a sound backend that
# cannot be torn down after main is a fault to fix, not to hide.
#   cmake -DTESTS_DIR=<source>/tests -P NoExitInTestMains.cmake
cmake_minimum_required(VERSION 3.25)

file(GLOB_RECURSE sources RELATIVE ${TESTS_DIR} ${TESTS_DIR}/*.cpp ${TESTS_DIR}/*.h)
set(offenders)
foreach(source ${sources})
  file(STRINGS ${TESTS_DIR}/${source} lines REGEX "(_Exit|quick_exit|EndProcess) *\\(")
  if(lines)
    list(APPEND offenders ${source})
  endif()
endforeach()
if(offenders)
  list(JOIN offenders ", " names)
  message(FATAL_ERROR "test programs that do not end normally: ${names}")
endif()
