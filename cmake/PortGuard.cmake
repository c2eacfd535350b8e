# SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
# SPDX-License-Identifier: GPL-3.0-or-later

# No test may open a real serial port of the machine it runs on. The CTest
# fixture "port_guard" (tests/CMakeLists.txt) watches the machine's
# /dev/ttyS*, /dev/ttyUSB* and /dev/ttyACM* from before the first test until
# after the last and fails the run when any of them was opened.

# Makes every test of the calling folder need the guard, so CTest starts it
# before them and checks it after them, also with --parallel and when only
# some tests are chosen (-R, -L).
function(rennzeit_require_port_guard)
  get_property(tests DIRECTORY PROPERTY TESTS)
  foreach(test ${tests})
    if(NOT test MATCHES "^port_guard_(start|stop)$")
      set_property(TEST ${test} APPEND PROPERTY FIXTURES_REQUIRED port_guard)
    endif()
  endforeach()
endfunction()
