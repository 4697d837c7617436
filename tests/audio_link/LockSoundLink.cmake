# Read by ctest after the discovered tests: request and simulate play and record on the one
# sound link, so none of these tests runs beside another audio test.
if(test_cli_link_TESTS)
  set_tests_properties(${test_cli_link_TESTS} PROPERTIES RESOURCE_LOCK sound_link)
endif()
