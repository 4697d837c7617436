# Read by ctest after the discovered tests: each test starts a sound server of its own and
# never touches the shared link, but it takes the link's lock all the same: a second sound server,
# player and window running beside the link's tests make a small machine miss real-time deadlines
# (a player's refill comes late and splits a tone).
if(test_audio_robust_TESTS)
  set_tests_properties(${test_audio_robust_TESTS} PROPERTIES RESOURCE_LOCK sound_link)
endif()
