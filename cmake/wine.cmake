# Windows tests run under Wine: every test executable goes through
# wine-run.sh, and the "wine" fixture gives each ctest run a fresh prefix and
# its own Xvfb display.
set(ORVANTA_WINE_DIR ${CMAKE_BINARY_DIR}/wine)
set(ORVANTA_WINE_LOADER /usr/lib/wine/wine64 CACHE FILEPATH "Wine loader")
set(ORVANTA_WINESERVER /usr/lib/wine/wineserver CACHE FILEPATH "Wine server")
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-session.sh.in ${CMAKE_BINARY_DIR}/wine-session.sh @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
set(ORVANTA_TEST_FIXTURE wine)
