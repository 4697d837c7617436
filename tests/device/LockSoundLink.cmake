# Read by ctest after the discovered tests: the Qt backend tests play and record on the one
# sound link, so none runs beside another audio test.
if(test_device_qt_TESTS)
  set_tests_properties(${test_device_qt_TESTS} PROPERTIES RESOURCE_LOCK sound_link)
endif()
