# Read by ctest after the discovered tests: they all hold the one sound link while they run.
if(test_audio_window_TESTS)
  set_tests_properties(${test_audio_window_TESTS} PROPERTIES RESOURCE_LOCK sound_link TIMEOUT 200)
endif()
