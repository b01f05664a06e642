# SPDX-License-Identifier: MIT
# Runs a test whose length is chosen when it is run, bounded by that length plus a margin: a
# CTest timeout is fixed at configure time and would cut a longer run short.
#
#   cmake -DPROGRAM=... -DLENGTH_VARIABLE=PANEL_SOAK_SECONDS -DUNSET_BOUND=120
#         -DMARGIN=100 -DLONGEST=86400 -P RunBounded.cmake
#
# Without the variable the test keeps its own default length and is bounded by UNSET_BOUND.

set(bound ${UNSET_BOUND})
set(requested "$ENV{${LENGTH_VARIABLE}}")
if(NOT requested STREQUAL "")
  # A value the test would not take is refused here rather than quietly replaced by the
  # default length.
  if(NOT requested MATCHES "^([0-9]+(\\.[0-9]*)?|\\.[0-9]+)$" OR requested MATCHES "^[0.]+$")
    message(FATAL_ERROR "${LENGTH_VARIABLE}: expected seconds above 0, got \"${requested}\"")
  endif()
  string(REGEX REPLACE "\\..*$" "" whole "${requested}")
  string(REGEX MATCH "[1-9][0-9]*" whole "${whole}")
  if(whole STREQUAL "")
    set(whole 0)
  endif()
  if(whole GREATER LONGEST)
    message(FATAL_ERROR "${LENGTH_VARIABLE}: expected at most ${LONGEST} seconds, got "
                        "\"${requested}\"")
  endif()
  # A fraction of a second counts as a whole one.
  math(EXPR bound "${whole} + 1 + ${MARGIN}")
endif()

# QTest ends a test function after five minutes unless told otherwise; at the bound its
# watchdog stops the test and says where it stood.
set(ENV{QTEST_FUNCTION_TIMEOUT} "${bound}000")
# The hard stop, should the test hang outside a test function.
math(EXPR hardStop "${bound} + 30")
execute_process(COMMAND "${PROGRAM}" TIMEOUT ${hardStop} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} (bounded at ${bound} s): ${result}")
endif()
