# The conformance tests, built against the platform and, cross-compiled, Win32.
set(CONFORMANCE_TESTS
  window_test.cpp
  listbox_test.cpp
  gdi_test.cpp
  profile_test.cpp
)
