# Test support for the Windows cross build: GoogleTest built from Debian's sources with
# the cross compiler, the Wine runner, and the CTest fixture that keeps one wineserver up
# for the whole run.

include(${CMAKE_CURRENT_LIST_DIR}/googletest_source.cmake)

# The emulator named by the toolchain file: runs a program with this build's Wine prefix.
set(PEEK_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(PEEK_WINE_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/wine.sh)
file(WRITE ${CMAKE_BINARY_DIR}/wine-run.sh
     "#!/bin/sh\nexec '${PEEK_WINE_SCRIPT}' '${PEEK_WINEPREFIX}' run \"$@\"\n")
file(CHMOD ${CMAKE_BINARY_DIR}/wine-run.sh PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
     GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)

add_test(NAME wine_server_start COMMAND ${PEEK_WINE_SCRIPT} ${PEEK_WINEPREFIX} start)
add_test(NAME wine_server_stop COMMAND ${PEEK_WINE_SCRIPT} ${PEEK_WINEPREFIX} stop)
set_tests_properties(wine_server_start PROPERTIES FIXTURES_SETUP wine_server)
set_tests_properties(wine_server_stop PROPERTIES FIXTURES_CLEANUP wine_server)

# The suites built as Windows programs: the disk and volume layers, the shared and the
# Win32 platform code and the Windows end-to-end tests. The others drive Linux tools
# (mkfs.fat, mtools, a POSIX shell) or expect POSIX path separators, and run in the Linux
# builds.
set(PEEK_WINDOWS_SUITES disk_test volume_test platform_test platform_win32_test
                        windows_end_to_end_test aspi_translation_test)

# Every Windows test runs inside the fixture.
list(APPEND PEEK_TEST_PROPERTIES FIXTURES_REQUIRED wine_server)
