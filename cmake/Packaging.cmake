# The ZIP package of the Windows program: quorin.exe, its help page and a readme, in one
# folder. Build it with
#   cmake --build build/windows --target package
# which writes build/windows/quorin-1.00-win32.zip.
if(NOT TARGET quorin)
  return()
endif()

install(TARGETS quorin RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/res/quorin.html DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/res/readme-package.txt DESTINATION . RENAME readme.txt)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Quorin)
set(CPACK_PACKAGE_VENDOR "Quorin Project")
set(CPACK_PACKAGE_VERSION 1.00)
set(CPACK_PACKAGE_FILE_NAME quorin-1.00-win32)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
