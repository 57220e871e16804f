# The ZIP package of the Windows programs: quorin.exe, quorin-cli.exe, the help page and a
# readme, in one folder. Build it with
#   cmake --build build/windows --target package
# which writes build/windows/quorin-1.00-win32.zip (quorin-1.00-win64.zip from a 64-bit
# build).
if(NOT TARGET quorin)
  return()
endif()

# readme.txt with CR LF line ends: Notepad before Windows 10 1809 shows LF-only text as
# one line. The source keeps LF like every other file here.
set(readme_source ${PROJECT_SOURCE_DIR}/res/readme-package.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${readme_source})
file(READ ${readme_source} readme)
string(REPLACE "\r\n" "\n" readme "${readme}")
string(REPLACE "\n" "\r\n" readme "${readme}")
file(WRITE ${CMAKE_BINARY_DIR}/package/readme.txt "${readme}")

install(TARGETS quorin RUNTIME DESTINATION .)
if(TARGET quorin-cli)
  install(TARGETS quorin-cli RUNTIME DESTINATION .)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/res/quorin.html DESTINATION .)
install(FILES ${CMAKE_BINARY_DIR}/package/readme.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Quorin)
set(CPACK_PACKAGE_VENDOR "Quorin Project")
set(CPACK_PACKAGE_VERSION 1.00)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CPACK_PACKAGE_FILE_NAME quorin-1.00-win64)
else()
  set(CPACK_PACKAGE_FILE_NAME quorin-1.00-win32)
endif()
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
