# GoogleTest built with the project's own compiler from Debian's sources (package googletest),
# for builds that cannot link the system's libgtest: a cross-build for Windows. Gives the same
# targets as find_package(GTest): GTest::gtest, GTest::gtest_main, GTest::gmock.
set(QUELSOR_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build the tests with")
if(NOT EXISTS ${QUELSOR_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources in ${QUELSOR_GTEST_SOURCE} (Debian package googletest)")
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
# GoogleTest is not held to the project's warning flags.
get_directory_property(quelsor_saved_options COMPILE_OPTIONS)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
add_subdirectory(${QUELSOR_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "${quelsor_saved_options}")

foreach(lib gtest gtest_main gmock)
  if(NOT TARGET GTest::${lib})
    add_library(GTest::${lib} ALIAS ${lib})
  endif()
endforeach()
