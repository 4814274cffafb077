# The Debian packages from a tree that is built already: the package test sets
# TRELLYBRIDGE_PACKAGE_FROM_BUILD to the test command's build, and the packages' configure
# (debian/rules) then builds nothing; installing installs that tree under this configure's
# prefix. The packages hold what a package build makes, built with that tree's flags.
set(TRELLYBRIDGE_BUILT_TREE "$ENV{TRELLYBRIDGE_PACKAGE_FROM_BUILD}")
if(NOT EXISTS "${TRELLYBRIDGE_BUILT_TREE}/cmake_install.cmake")
  message(FATAL_ERROR "TRELLYBRIDGE_PACKAGE_FROM_BUILD=${TRELLYBRIDGE_BUILT_TREE} is no build tree")
endif()
include(GNUInstallDirs)
load_cache("${TRELLYBRIDGE_BUILT_TREE}" READ_WITH_PREFIX BUILT_ CMAKE_INSTALL_LIBDIR)
if(NOT BUILT_CMAKE_INSTALL_LIBDIR STREQUAL CMAKE_INSTALL_LIBDIR)
  message(FATAL_ERROR "${TRELLYBRIDGE_BUILT_TREE} installs its libraries into "
                      "${BUILT_CMAKE_INSTALL_LIBDIR}, the packages into ${CMAKE_INSTALL_LIBDIR}")
endif()
# DESTDIR, as the packaging's install step sets it, reaches the inner install.
install(CODE "execute_process(COMMAND \"${CMAKE_COMMAND}\" --install \"${TRELLYBRIDGE_BUILT_TREE}\"
                                      --prefix \"\${CMAKE_INSTALL_PREFIX}\"
                              COMMAND_ERROR_IS_FATAL ANY)")
enable_testing()
