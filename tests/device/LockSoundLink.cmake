# Read by ctest after the discovered tests: the Qt backend tests play and record on the one sound
# link, so none runs beside another audio test. The PulseAudio backend tests start a sound server
# of their own and never touch the link, but take its lock all the same: a second sound server
# and player running beside the link's tests make a small machine miss real-time deadlines (a
# player's refill comes late and splits a tone).
foreach(tests test_device_qt_TESTS test_device_pulse_TESTS)
  if(${tests})
    set_tests_properties(${${tests}} PROPERTIES RESOURCE_LOCK sound_link)
  endif()
endforeach()
