# Dependencies of the Windows build: zlib from libz-mingw-w64-dev; pugixml and
# GoogleTest compiled from Debian's sources (scripts/install-deps.sh fetches
# the pugixml source package); libsodium built statically with mingw from
# Debian's source package by scripts/install-deps.sh.
set(ORVANTA_PUGIXML_SOURCE "" CACHE PATH "Unpacked pugixml source package")
if(NOT ORVANTA_PUGIXML_SOURCE)
  file(GLOB pugixml_dirs /usr/local/src/orvanta-deps/pugixml-*)
  list(SORT pugixml_dirs)
  list(POP_BACK pugixml_dirs ORVANTA_PUGIXML_SOURCE)
endif()
if(NOT EXISTS "${ORVANTA_PUGIXML_SOURCE}/src/pugixml.cpp")
  message(FATAL_ERROR "pugixml sources not found; run scripts/install-deps.sh "
                      "or set ORVANTA_PUGIXML_SOURCE")
endif()
add_library(pugixml_source STATIC ${ORVANTA_PUGIXML_SOURCE}/src/pugixml.cpp)
target_include_directories(pugixml_source SYSTEM PUBLIC ${ORVANTA_PUGIXML_SOURCE}/src)
target_compile_options(pugixml_source PRIVATE -w)
add_library(pugixml::pugixml ALIAS pugixml_source)

find_package(ZLIB REQUIRED)

set(ORVANTA_SODIUM_PREFIX /usr/local/src/orvanta-deps/libsodium-mingw CACHE PATH
    "Prefix of libsodium built for mingw")
if(NOT EXISTS "${ORVANTA_SODIUM_PREFIX}/lib/libsodium.a")
  message(FATAL_ERROR "libsodium for mingw not found; run scripts/install-deps.sh "
                      "or set ORVANTA_SODIUM_PREFIX")
endif()
add_library(sodium::sodium STATIC IMPORTED GLOBAL)
set_target_properties(sodium::sodium PROPERTIES
  IMPORTED_LOCATION "${ORVANTA_SODIUM_PREFIX}/lib/libsodium.a"
  INTERFACE_INCLUDE_DIRECTORIES "${ORVANTA_SODIUM_PREFIX}/include"
  INTERFACE_COMPILE_DEFINITIONS SODIUM_STATIC)

if(ORVANTA_BUILD_TESTS)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
