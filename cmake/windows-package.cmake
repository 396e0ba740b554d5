# The Windows zip: cmake --build --preset windows --target package (or
# scripts/package-windows.sh) makes build/windows/ZorpLoad-<version>-windows-x64.zip:
#   zorpload.exe                     the program, for FTDI's own driver
#   zorpload-demo.exe                the demonstration, logger built in
#   README.txt                       what to install, where files go
#   simulated-logger/FTD2XX.dll      the simulated logger; copied beside
#                                    zorpload.exe it stands in for the driver
# The simulated driver has a folder of its own so that it never takes the
# real driver's place by accident.
install(TARGETS zorpload zorpload-demo RUNTIME DESTINATION .)
install(TARGETS ftd2xx_sim RUNTIME DESTINATION simulated-logger)
# Windows' line ends, so that every Notepad shows its lines.
configure_file(${CMAKE_SOURCE_DIR}/resources/windows-readme.txt ${CMAKE_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/README.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ZorpLoad)
set(CPACK_PACKAGE_FILE_NAME ZorpLoad-${PROJECT_VERSION}-windows-x64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)

# The setup program beside the zip, made with every build when makensis
# (Debian's nsis) is there: build/windows/ZorpLoad-<version>-windows-x64-setup.exe
# (packaging/zorpload-setup.nsi). It installs the two programs and the
# README; never FTD2XX.dll.
find_program(MAKENSIS_PROGRAM makensis)
if(MAKENSIS_PROGRAM)
  set(ZORP_SETUP ${CMAKE_BINARY_DIR}/ZorpLoad-${PROJECT_VERSION}-windows-x64-setup.exe)
  add_custom_command(OUTPUT ${ZORP_SETUP}
    COMMAND ${MAKENSIS_PROGRAM} -V2 -DVERSION=${PROJECT_VERSION} -DVERSION_QUAD=${ZORP_VERSION_QUAD}
            -DOUTFILE=${ZORP_SETUP} -DPROGRAM=$<TARGET_FILE:zorpload> -DDEMO=$<TARGET_FILE:zorpload-demo>
            -DREADME=${CMAKE_BINARY_DIR}/README.txt -DICON=${CMAKE_SOURCE_DIR}/resources/zorpload.ico
            ${CMAKE_SOURCE_DIR}/packaging/zorpload-setup.nsi
    DEPENDS zorpload zorpload-demo ${CMAKE_SOURCE_DIR}/packaging/zorpload-setup.nsi ${CMAKE_BINARY_DIR}/README.txt
            ${CMAKE_SOURCE_DIR}/resources/zorpload.ico
    VERBATIM)
  add_custom_target(setup ALL DEPENDS ${ZORP_SETUP})
endif()
