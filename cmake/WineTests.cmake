# From a native build: the Windows programs cross-built with MinGW-w64 for x86_64 and i686 (this
# same source tree, as external projects), and their end-to-end tests under Wine in a virtual X
# display, label "wine". Off, with a note, when a tool is missing.
foreach(tool x86_64-w64-mingw32-g++-posix i686-w64-mingw32-g++-posix wine wineserver winepath Xvfb import)
  string(MAKE_C_IDENTIFIER "FWUP_TOOL_${tool}" variable)
  find_program(${variable} ${tool})
  if(NOT ${variable})
    message(STATUS "Wine tests off: ${tool} not found")
    return()
  endif()
endforeach()
find_package(Python3 REQUIRED COMPONENTS Interpreter)

include(ExternalProject)
foreach(arch x86_64 i686)
  ExternalProject_Add(windows_${arch}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/mingw-${arch}
    # -s: without their symbols the released programs are half the size; the tests run the same files.
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchain-mingw-${arch}.cmake
               -DCMAKE_BUILD_TYPE=Release -DCMAKE_EXE_LINKER_FLAGS_RELEASE=-s -DFWUP_BUILD_TESTS=OFF -DFWUP_WINE_TESTS=ON
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)
endforeach()
set(FWUP_WIN64 ${CMAKE_BINARY_DIR}/mingw-x86_64)

# The core's own run of each scenario, which the Windows program must reproduce.
add_executable(fwup_expected_run ${PROJECT_SOURCE_DIR}/tests/wine/expected_run.cpp)
target_link_libraries(fwup_expected_run PRIVATE fwup_sim)

set(FWUP_WINE_DATA ${CMAKE_BINARY_DIR}/wine-data)
add_custom_command(
  OUTPUT ${FWUP_WINE_DATA}/good.hex ${FWUP_WINE_DATA}/good.bin ${FWUP_WINE_DATA}/bad-signature.hex
         ${FWUP_WINE_DATA}/прошивка-固件.hex
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/wine/make_firmware.py ${FWUP_WINE_DATA}
  DEPENDS ${PROJECT_SOURCE_DIR}/tests/wine/make_firmware.py
  COMMENT "Writing the firmware files of the wine tests")
add_custom_target(fwup_wine_data ALL DEPENDS ${FWUP_WINE_DATA}/good.hex)

enable_testing()
set(FWUP_WINE_STATE ${CMAKE_BINARY_DIR}/wine-state)
set(FWUP_WINE_RUNS ${CMAKE_BINARY_DIR}/wine-runs)
set(FWUP_WINE_DIR ${PROJECT_SOURCE_DIR}/tests/wine)

add_test(NAME wine_setup COMMAND bash ${FWUP_WINE_DIR}/wine_env.sh setup ${FWUP_WINE_STATE})
add_test(NAME wine_teardown COMMAND bash ${FWUP_WINE_DIR}/wine_env.sh teardown ${FWUP_WINE_STATE})
set_tests_properties(wine_setup PROPERTIES FIXTURES_SETUP wine LABELS wine TIMEOUT 300)
set_tests_properties(wine_teardown PROPERTIES FIXTURES_CLEANUP wine LABELS wine)

# fwup_wine_scenario(NAME SCRIPT [REAL] [ARGS...]): the test build with the simulated device,
# or with REAL the product itself; ARGS go to run_scenario.sh.
function(fwup_wine_scenario name script)
  set(program ${FWUP_WIN64}/tests/wine/fwupgrade_e2e.exe)
  set(device --server ${FWUP_WIN64}/tests/wine/fwup_pipe_server.exe)
  set(args ${ARGN})
  if(args AND "${ARGV2}" STREQUAL "REAL")
    list(REMOVE_AT args 0)
    set(program ${FWUP_WIN64}/src/app/FWUpgradeApp.exe)
    set(device --no-device)
  endif()
  add_test(NAME wine_${name}
    COMMAND bash ${FWUP_WINE_DIR}/run_scenario.sh --state ${FWUP_WINE_STATE} --name ${name}
            --script ${FWUP_WINE_DIR}/scenarios/${script} --program ${program}
            --driver ${FWUP_WIN64}/tests/wine/fwup_driver.exe --out ${FWUP_WINE_RUNS}
            --expected $<TARGET_FILE:fwup_expected_run> ${device} --var DATA=${FWUP_WINE_DATA} ${args})
  # One at a time on the shared display: the driver judges a box's icon from the screen, and
  # another scenario's window may lie over a box that has no owner.
  set_tests_properties(wine_${name} PROPERTIES FIXTURES_REQUIRED wine LABELS wine TIMEOUT 240
                       RESOURCE_LOCK wine_screen)
endfunction()

set(good ${FWUP_WINE_DATA}/good.hex)
add_test(NAME wine_template
  COMMAND bash ${FWUP_WINE_DIR}/run_scenario.sh --state ${FWUP_WINE_STATE} --name template
          --script ${FWUP_WINE_DIR}/scenarios/template.txt --program ${FWUP_WIN64}/src/app/FWUpgradeApp.exe
          --driver ${FWUP_WIN64}/tests/wine/fwup_driver.exe --out ${FWUP_WINE_RUNS}
          --resources ${FWUP_WINE_DIR}/expected/resources.txt)
set_tests_properties(wine_template PROPERTIES FIXTURES_REQUIRED wine LABELS wine TIMEOUT 120)
fwup_wine_scenario(no_device no_device.txt REAL)
fwup_wine_scenario(match match.txt --image ${good} --region ${FWUP_WINE_DATA}/good.bin --last-sent 08
                   --stdout "Computing CRC. Please wait..." --shot ${FWUP_WINE_RUNS}/dialog-connected.png)
fwup_wine_scenario(mismatch mismatch.txt --image ${good} --fault verdict:55 --last-sent 08)
fwup_wine_scenario(no_verdict no_verdict.txt --image ${good} --fault verdict:00 --last-sent 08)
fwup_wine_scenario(info_query_fails info_fails.txt --image ${good} --fault no-answer@info --last-sent 02)
fwup_wine_scenario(bad_signature bad_signature.txt --image ${FWUP_WINE_DATA}/bad-signature.hex --last-sent 02)
fwup_wine_scenario(no_file_chosen no_file.txt --last-sent 02)
fwup_wine_scenario(packet_write_fails packet_fails.txt --image ${good} --fault "fail-write@program#300" --last-sent 05)
fwup_wine_scenario(checksum_read_fails crc_read_fails.txt --image ${good} --fault fail-read@crc --last-sent 09)
fwup_wine_scenario(cancel cancel.txt --connect-only --last-sent AE)
fwup_wine_scenario(chooser_cancelled chooser_cancelled.txt --last-sent 02)
fwup_wine_scenario(late_ready_answer late_ready.txt --connect-only --fault late-answer@ready --last-sent AE)
fwup_wine_scenario(unicode_file_name unicode_file_name.txt --image ${FWUP_WINE_DATA}/прошивка-固件.hex
                   --region ${FWUP_WINE_DATA}/good.bin --last-sent 08)

# The command line, with file names that only UTF-16 can carry.
add_test(NAME wine_cli_file_names
  COMMAND bash ${FWUP_WINE_DIR}/cli_file_names.sh --state ${FWUP_WINE_STATE} --program ${FWUP_WIN64}/fwupgrade.exe
          --data ${FWUP_WINE_DATA} --out ${FWUP_WINE_RUNS}/cli_file_names)
set_tests_properties(wine_cli_file_names PROPERTIES FIXTURES_REQUIRED wine LABELS wine TIMEOUT 240)

# The application manifest and the version resource of both programs in both builds, read back
# through the Windows API; the expected texts carry the project's version.
set(FWUP_VERSION_QUAD ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
foreach(program FWUpgradeApp fwupgrade)
  configure_file(${FWUP_WINE_DIR}/expected/${program}.exe.txt.in ${CMAKE_BINARY_DIR}/wine-expected/${program}.exe.txt
                 @ONLY)
endforeach()
foreach(arch x86_64 i686)
  foreach(program src/app/FWUpgradeApp fwupgrade)
    get_filename_component(name ${program} NAME)
    add_test(NAME wine_resources_${name}_${arch}
      COMMAND bash ${FWUP_WINE_DIR}/check_program_resources.sh --state ${FWUP_WINE_STATE}
              --checker ${FWUP_WIN64}/tests/wine/fwup_program_resources.exe
              --program ${CMAKE_BINARY_DIR}/mingw-${arch}/${program}.exe
              --expected ${CMAKE_BINARY_DIR}/wine-expected/${name}.exe.txt
              --out ${FWUP_WINE_RUNS}/resources-${name}-${arch})
    set_tests_properties(wine_resources_${name}_${arch} PROPERTIES FIXTURES_REQUIRED wine LABELS wine TIMEOUT 120)
  endforeach()
endforeach()
