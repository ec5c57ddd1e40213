# Finds GTK 3 and WebKitGTK 4.1 once for the desktop shell and its tests:
# VANTIS_GTK_FOUND and the imported target PkgConfig::VANTIS_GTK. A tree
# without them still configures; the desktop shell is then left out.
if(NOT DEFINED VANTIS_GTK_CHECKED)
  set(VANTIS_GTK_CHECKED TRUE)
  find_package(PkgConfig QUIET)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(VANTIS_GTK QUIET IMPORTED_TARGET GLOBAL gtk+-3.0 webkit2gtk-4.1)
  endif()
  if(NOT VANTIS_GTK_FOUND)
    message(STATUS "GTK 3 or WebKitGTK 4.1 not found: vantis-client-gtk and its tests are left out")
  endif()
endif()
