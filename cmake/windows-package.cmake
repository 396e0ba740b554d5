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
install(FILES ${CMAKE_SOURCE_DIR}/resources/windows-readme.txt DESTINATION . RENAME README.txt)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ZorpLoad)
set(CPACK_PACKAGE_FILE_NAME ZorpLoad-${PROJECT_VERSION}-windows-x64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
