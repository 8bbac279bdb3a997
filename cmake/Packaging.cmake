# The host developer kit as a ZIP, made by cpack from one build tree:
#
#   Quillbarrow-<version>-win/
#     LICENSE  Quillbarrow.def
#     include/quillbarrow.h   docs/host-guide.md   examples/c_host.c cpp_host.cpp
#     x86/  Quillbarrow.dll  libQuillbarrow.dll.a  quillbarrow-host.exe
#     x64/  the same for 64-bit Windows
#
# Each build tree installs its own architecture's folder and the shared
# files. QUILLBARROW_OTHER_ARCH_DIR names a built tree of the other
# architecture; cpack then installs both trees into the one package.
# packaging/release.sh builds both and runs cpack. Build a tree before
# packing it: the package target does not build it first.

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(QUILLBARROW_ARCH_DIR x86)
else()
  set(QUILLBARROW_ARCH_DIR x64)
endif()

set(QUILLBARROW_OTHER_ARCH_DIR "" CACHE PATH
  "Build tree of the other Windows architecture whose files go into the package too")

install(TARGETS Quillbarrow
  RUNTIME DESTINATION ${QUILLBARROW_ARCH_DIR}
  ARCHIVE DESTINATION ${QUILLBARROW_ARCH_DIR})
if(TARGET quillbarrow-host)
  install(TARGETS quillbarrow-host RUNTIME DESTINATION ${QUILLBARROW_ARCH_DIR})
endif()

install(FILES
  ${PROJECT_SOURCE_DIR}/LICENSE
  ${PROJECT_SOURCE_DIR}/src/platform/win32/Quillbarrow.def
  DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/include/quillbarrow.h DESTINATION include)
install(FILES ${PROJECT_SOURCE_DIR}/docs/host-guide.md DESTINATION docs)
install(FILES
  ${PROJECT_SOURCE_DIR}/examples/c_host.c
  ${PROJECT_SOURCE_DIR}/examples/cpp_host.cpp
  DESTINATION examples)

# cpack installs from built trees and builds nothing itself: packing the
# other architecture's tree must not build all of that tree's tests.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Quillbarrow)
set(CPACK_PACKAGE_VENDOR "Quillbarrow developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Quillbarrow.dll and its host developer kit")
set(CPACK_PACKAGE_FILE_NAME "Quillbarrow-${PROJECT_VERSION}-win")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};ALL;/")
if(QUILLBARROW_OTHER_ARCH_DIR)
  list(APPEND CPACK_INSTALL_CMAKE_PROJECTS "${QUILLBARROW_OTHER_ARCH_DIR};${PROJECT_NAME};ALL;/")
endif()
include(CPack)

# Everything the install rules above take from this tree, so that a tree
# built only for its share of the package can be made with one target.
add_custom_target(quillbarrow-package-files)
add_dependencies(quillbarrow-package-files Quillbarrow)
if(TARGET quillbarrow-host)
  add_dependencies(quillbarrow-package-files quillbarrow-host)
endif()
