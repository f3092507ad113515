# The Windows release: one ZIP with the program, the converter module beside it and a short text on
# use. Made by `cmake --build --preset win32 --target package`.
if(NOT WIN32)
  return()
endif()
install(PROGRAMS $<TARGET_FILE:Quorvane> $<TARGET_FILE:zentile> DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/docs/windows-readme.txt DESTINATION . RENAME README.txt)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Quorvane)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CPACK_PACKAGE_FILE_NAME "Quorvane-${PROJECT_VERSION}-win64")
else()
  set(CPACK_PACKAGE_FILE_NAME "Quorvane-${PROJECT_VERSION}-win32")
endif()
include(CPack)
