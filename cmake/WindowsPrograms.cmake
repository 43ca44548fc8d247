# The Windows programs beyond the product: the end-to-end test programs, and their tests.
option(FWUP_WINE_TESTS "Cross-build the Windows programs with MinGW and test them under Wine" ON)

if(WIN32)
  if(FWUP_WINE_TESTS)
    add_subdirectory(tests/wine)
  endif()
elseif(FWUP_WINE_TESTS AND NOT CMAKE_CROSSCOMPILING)
  include(${CMAKE_CURRENT_LIST_DIR}/WineTests.cmake)
endif()
