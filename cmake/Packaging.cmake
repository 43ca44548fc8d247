# The release artifacts, made by CPack from a native Linux build: the Debian package of the command
# line (component "linux") and the zip of the Windows programs (component "windows", when the MinGW
# builds are part of this build). `cpack` in the build folder makes both into packages/; the tests
# of label "package" make them, check them and install the .deb into a clean Debian 12.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux" OR CMAKE_CROSSCOMPILING OR NOT FWUP_BUILD_CLI OR FWUP_SANITIZE
   OR FWUP_FUZZ)
  return()
endif()
if(NOT TARGET fwupgrade_man)
  message(STATUS "Packages off: help2man not found for the man page")
  return()
endif()
foreach(tool dpkg dpkg-shlibdeps file)
  string(MAKE_C_IDENTIFIER "FWUP_TOOL_${tool}" variable)
  find_program(${variable} ${tool})
  if(NOT ${variable})
    message(STATUS "Packages off: ${tool} not found")
    return()
  endif()
endforeach()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(FWUP_MAN_PAGE ${CMAKE_BINARY_DIR}/man/fwupgrade.1.gz)  # made in src/cli

set(FWUP_PACKAGE_MAINTAINER "fwupgrade maintainers <fwupgrade@example.org>"
    CACHE STRING "Maintainer of the Debian package, as: Name <address>")
set(FWUP_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(FWUP_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)

# A umask of 027 must not leave directories that only root can read in the package.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                                WORLD_READ WORLD_EXECUTE)

# --- The Debian package. Paths are below the prefix /usr.
set(doc share/doc/fwupgrade)
configure_file(${FWUP_PACKAGING_DIR}/deb/copyright.in ${FWUP_PACKAGING_OUT}/copyright @ONLY)
# Debian wants a changelog in its own format in every package, compressed with gzip -9n.
string(TIMESTAMP FWUP_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${FWUP_PACKAGING_DIR}/deb/changelog.in ${FWUP_PACKAGING_OUT}/changelog @ONLY)
add_custom_command(
  OUTPUT ${FWUP_PACKAGING_OUT}/changelog.gz
  COMMAND ${FWUP_GZIP} -9nc ${FWUP_PACKAGING_OUT}/changelog > ${FWUP_PACKAGING_OUT}/changelog.gz
  DEPENDS ${FWUP_PACKAGING_OUT}/changelog
  VERBATIM)
add_custom_target(fwupgrade_changelog ALL DEPENDS ${FWUP_PACKAGING_OUT}/changelog.gz)

install(TARGETS fwupgrade RUNTIME DESTINATION bin COMPONENT linux)
# CPack strips the program of its symbols; the compiler's notes in .comment go as well, as Debian's
# own packages do.
install(CODE "execute_process(COMMAND ${CMAKE_STRIP} --remove-section=.comment
                                      \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/fwupgrade COMMAND_ERROR_IS_FATAL ANY)"
        COMPONENT linux)
install(FILES ${FWUP_MAN_PAGE} DESTINATION share/man/man1 COMPONENT linux)
# Where udev reads the rules that packages bring (Debian 12 has merged /lib into /usr/lib).
install(FILES ${FWUP_PACKAGING_DIR}/udev/70-fwupgrade.rules DESTINATION lib/udev/rules.d COMPONENT linux)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${FWUP_PACKAGING_OUT}/copyright ${FWUP_PACKAGING_OUT}/changelog.gz
        DESTINATION ${doc} COMPONENT linux)
install(FILES ${PROJECT_SOURCE_DIR}/examples/sample-firmware.hex DESTINATION ${doc}/examples COMPONENT linux)

set(CPACK_PACKAGE_NAME fwupgrade)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the fwupgrade authors")
set(CPACK_PACKAGE_CONTACT "${FWUP_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware upgrade tool for the boot loader of a USB HID device")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_LINUX_PACKAGE_NAME fwupgrade)
set(CPACK_DEBIAN_LINUX_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps declares the libraries the program links (libstdc++, libc); the ones it loads
# when it needs them are named here: hidapi (hidraw) and libudev for the devices, libcrypto for
# the board log's digest.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libhidapi-hidraw0, libudev1, libssl3")
# CPack puts CPACK_PACKAGE_DESCRIPTION_SUMMARY before this as the synopsis line.
set(CPACK_DEBIAN_LINUX_DESCRIPTION
    "fwupgrade replaces the application firmware of a USB device while the device
runs its boot loader (Firmware Upgrade Mode). It lists the devices, shows the
versions of their firmware and boot loader, checks firmware files, and flashes
one device or several at once, with a built-in simulated boot loader for trying
it without hardware.
.
The package installs a udev rule that lets the user at the seat open the boot
loader's hidraw node, so that fwupgrade runs without root.")

# --- The zip of the Windows programs, from the MinGW builds of cmake/WineTests.cmake.
set(FWUP_PACKAGE_ZIP OFF)
if(TARGET windows_x86_64 AND TARGET windows_i686)
  set(FWUP_PACKAGE_ZIP ON)
  foreach(arch x86_64 i686)
    install(FILES ${CMAKE_BINARY_DIR}/mingw-${arch}/src/app/FWUpgradeApp.exe ${CMAKE_BINARY_DIR}/mingw-${arch}/fwupgrade.exe
            DESTINATION ${arch} COMPONENT windows)
  endforeach()
  # Windows line ends, so that every editor shows the texts as written.
  configure_file(${FWUP_PACKAGING_DIR}/windows/README.txt.in ${FWUP_PACKAGING_OUT}/windows/README.txt @ONLY
                 NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${FWUP_PACKAGING_OUT}/windows/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(${FWUP_PACKAGING_DIR}/windows/THIRD-PARTY-NOTICES.txt
                 ${FWUP_PACKAGING_OUT}/windows/THIRD-PARTY-NOTICES.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${FWUP_PACKAGING_OUT}/windows/README.txt ${FWUP_PACKAGING_OUT}/windows/LICENSE.txt
                ${FWUP_PACKAGING_OUT}/windows/THIRD-PARTY-NOTICES.txt
          DESTINATION . COMPONENT windows)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_ARCHIVE_WINDOWS_FILE_NAME fwupgrade-${PROJECT_VERSION}-windows)
  set(CPACK_GENERATOR DEB ZIP)
else()
  message(STATUS "No Windows zip: the MinGW builds are off")
  set(CPACK_GENERATOR DEB)
endif()

# Each generator packs its own component: the .deb the Linux files, the zip the Windows ones,
# which unpacks into one folder named with the version.
set(CPACK_PROJECT_CONFIG_FILE ${FWUP_PACKAGING_OUT}/CPackProjectConfig.cmake)
file(WRITE ${CPACK_PROJECT_CONFIG_FILE} [[
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_COMPONENTS_ALL linux)
elseif(CPACK_GENERATOR STREQUAL "ZIP")
  set(CPACK_COMPONENTS_ALL windows)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_PACKAGE_FILE_NAME "fwupgrade-${CPACK_PACKAGE_VERSION}-windows")
endif()
]])
include(CPack)

# --- The tests of the packages (label "package").
if(NOT FWUP_BUILD_TESTS)
  return()
endif()
set(FWUP_PACKAGE_TESTS ${PROJECT_SOURCE_DIR}/tests/packaging)
execute_process(COMMAND ${FWUP_TOOL_dpkg} --print-architecture OUTPUT_VARIABLE FWUP_DEB_ARCH OUTPUT_STRIP_TRAILING_WHITESPACE)
set(FWUP_DEB ${CPACK_PACKAGE_DIRECTORY}/fwupgrade_${PROJECT_VERSION}_${FWUP_DEB_ARCH}.deb)
set(FWUP_ZIP ${CPACK_PACKAGE_DIRECTORY}/fwupgrade-${PROJECT_VERSION}-windows.zip)

add_test(NAME package_build
  COMMAND bash ${FWUP_PACKAGE_TESTS}/build_packages.sh ${CMAKE_BINARY_DIR} ${CPACK_PACKAGE_DIRECTORY})
set_tests_properties(package_build PROPERTIES FIXTURES_SETUP packages LABELS package TIMEOUT 300)

add_test(NAME package_deb_contents
  COMMAND bash ${FWUP_PACKAGE_TESTS}/check_deb.sh --deb ${FWUP_DEB} --version ${PROJECT_VERSION}
          --source ${PROJECT_SOURCE_DIR} --program $<TARGET_FILE:fwupgrade>)
add_test(NAME package_lintian COMMAND bash ${FWUP_PACKAGE_TESTS}/lintian.sh ${FWUP_DEB})
add_test(NAME package_install
  COMMAND bash ${FWUP_PACKAGE_TESTS}/install_test.sh --deb ${FWUP_DEB} --version ${PROJECT_VERSION}
          --root ${CMAKE_BINARY_DIR}/package-root)
set_tests_properties(package_deb_contents package_lintian PROPERTIES FIXTURES_REQUIRED packages LABELS package
                                                                     TIMEOUT 300)
# The first run makes the Debian 12 root (a few minutes); later runs unpack it from /var/cache.
set_tests_properties(package_install PROPERTIES FIXTURES_REQUIRED packages LABELS package TIMEOUT 1500
                                                SKIP_RETURN_CODE 77)
if(FWUP_PACKAGE_ZIP)
  add_test(NAME package_zip_contents
    COMMAND ${Python3_EXECUTABLE} ${FWUP_PACKAGE_TESTS}/check_zip.py --zip ${FWUP_ZIP} --version ${PROJECT_VERSION}
            --build ${CMAKE_BINARY_DIR})
  set_tests_properties(package_zip_contents PROPERTIES FIXTURES_REQUIRED packages LABELS package TIMEOUT 120)
endif()
