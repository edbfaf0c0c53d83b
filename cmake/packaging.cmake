# What ships: the install rules, the manual pages and the packages.
#
# Linux: the release engineer's tools, the update tool on the device
# simulator and the simulator's stand-ins, each with a manual page made from
# its own --help, in the Debian package orvanta-tools.
# Windows: the update tool for the device and zampack, in a zip, flat.
include(GNUInstallDirs)

if(WIN32)
  install(TARGETS orvanta-update zampack RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
else()
  set(shipped orvanta-update zampack orvanta-sim orvanta-device-app zamservice)
  install(TARGETS ${shipped} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/orvanta-tools)

  # The release build needs help2man; the others make the pages where it is
  # there. The sanitizer build's programs print their findings beside the help.
  if(ORVANTA_RELEASE_ARTIFACTS)
    find_program(HELP2MAN help2man REQUIRED)
  else()
    find_program(HELP2MAN help2man)
  endif()
  if(HELP2MAN AND NOT ORVANTA_FUZZ)
    set(summaries
      "orvanta-update|the software-update tool of the Orvanta device, on the device simulator"
      "zampack|build, list and verify Orvanta update packages"
      "orvanta-sim|prepare, inspect and restart a simulated Orvanta device, and try packages on it"
      "orvanta-device-app|stand-in for the Orvanta device application on the device simulator"
      "zamservice|stand-in for the Orvanta device service on the device simulator")
    set(pages "")
    foreach(entry IN LISTS summaries)
      string(REPLACE "|" ";" entry "${entry}")
      list(GET entry 0 program)
      list(GET entry 1 summary)
      set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
      add_custom_command(OUTPUT ${page}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
        COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${ORVANTA_SOURCE_DATE_EPOCH}
                ${HELP2MAN} --no-info --no-discard-stderr --section=1 --version-string=${PROJECT_VERSION}
                "--name=${summary}" --output=${page} $<TARGET_FILE:${program}>
        DEPENDS ${program}
        COMMENT "Manual page of ${program}"
        VERBATIM)
      list(APPEND pages ${page})
    endforeach()
    add_custom_target(manual_pages ALL DEPENDS ${pages})
    install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endif()

set(CPACK_PACKAGE_NAME orvanta-tools)
set(CPACK_PACKAGE_VENDOR "Colmarte Company")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Orvanta update tool, package tools and device simulator")
set(CPACK_PACKAGE_DESCRIPTION
    "zampack builds, lists and verifies update packages of the Orvanta device; orvanta-sim lays out a simulated device and tries packages on a copy of it with the real update tool, orvanta-update.")
set(CPACK_PACKAGE_CONTACT "Colmarte Company release engineering")
set(CPACK_STRIP_FILES OFF)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME orvanta-tools-${PROJECT_VERSION}-windows-x64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  # The libraries the programs load (C++ runtime, pugixml, zlib) are found by
  # dpkg-shlibdeps and become the package's dependencies.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
# The library of the package format is the target "package", so CPack's own
# "package" target is not made: the configuration has another name, which
# the package presets give to cpack (cpack --config build/DIR/orvanta-cpack.cmake).
set(CPACK_OUTPUT_CONFIG_FILE ${CMAKE_BINARY_DIR}/orvanta-cpack.cmake)
set(CPACK_SOURCE_OUTPUT_CONFIG_FILE ${CMAKE_BINARY_DIR}/orvanta-cpack-source.cmake)
include(CPack)
