# Fails when a test source ends its process with _Exit, quick_exit or EndProcess: a test program
# must return from main, so that LeakSanitizer sees what it leaked. The Qt Multimedia test mains
# below are the exception, because Qt Multimedia 6.4's PulseAudio engine can abort in the
# teardown after main while its thread still dispatches.
#   cmake -DTESTS_DIR=<source>/tests -P NoExitInTestMains.cmake
cmake_minimum_required(VERSION 3.25)

set(allowed
  app/GuiTestMain.cpp
  audio_robust/ServerLossTest.cpp
  device/QtBackendTest.cpp)

file(GLOB_RECURSE sources RELATIVE ${TESTS_DIR} ${TESTS_DIR}/*.cpp ${TESTS_DIR}/*.h)
set(offenders)
foreach(source ${sources})
  if(source IN_LIST allowed)
    continue()
  endif()
  file(STRINGS ${TESTS_DIR}/${source} lines REGEX "(_Exit|quick_exit|EndProcess) *\\(")
  if(lines)
    list(APPEND offenders ${source})
  endif()
endforeach()
if(offenders)
  list(JOIN offenders ", " names)
  message(FATAL_ERROR "test programs that do not end normally: ${names}")
endif()
