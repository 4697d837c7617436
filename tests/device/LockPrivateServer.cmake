# Read by ctest after the discovered tests: each starts its own sound server; one at a time keeps
# their timing steady on a small machine.
if(test_device_pulse_TESTS)
  set_tests_properties(${test_device_pulse_TESTS} PROPERTIES RESOURCE_LOCK private_sound_server)
endif()
