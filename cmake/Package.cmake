# The installed package: the layers' libraries and public headers, the CMake package
# `Tolvane`, pkg-config files and the Debian package.
#
# Installed headers keep the build tree's include style: they go to
# include/tolvane/<folder>/, and every installed target carries both include/ and
# include/tolvane, so <tolvane/texture/texture.h> and the headers' own
# "platform/d3d8/d3d8.h" both resolve.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TOLVANE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tolvane)
set(TOLVANE_PACKAGE_TEMPLATES ${CMAKE_CURRENT_LIST_DIR})
set(TOLVANE_DATA_DIR ${CMAKE_INSTALL_DATADIR}/tolvane)

if(BUILD_SHARED_LIBS)
  # Only what the public headers declare leaves a shared library: the headers open
  # their declarations with TOLVANE_API_BEGIN (platform/... export.h of each layer).
  set(CMAKE_CXX_VISIBILITY_PRESET hidden)
  set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  # Installed programs find the libraries beside them, wherever the prefix is.
  set(CMAKE_INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
endif()

# tolvane_install_layer(target name folder headers...): installs a layer's library as
# Tolvane::<name> and its public headers (relative to folder, with the folder's export.h)
# under include/tolvane/<folder>.
function(tolvane_install_layer target name folder)
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${name})
  # The headers are C++20 (std::bit_cast, designated initialisers).
  target_compile_features(${target} INTERFACE cxx_std_20)
  target_include_directories(${target} INTERFACE
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/tolvane>)
  # A sanitized build's libraries call into the sanitizers' runtimes: a program links them
  # with the same options (cmake/Sanitizers.cmake), given here and in the .pc file.
  if(TOLVANE_SANITIZER_LINK_OPTIONS)
    target_link_options(${target} INTERFACE ${TOLVANE_SANITIZER_LINK_OPTIONS})
  endif()
  add_library(Tolvane::${name} ALIAS ${target})
  install(TARGETS ${target} EXPORT TolvaneTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  set(headers "")
  foreach(h export.h ${ARGN})
    list(APPEND headers ${PROJECT_SOURCE_DIR}/${folder}/${h})
  endforeach()
  install(FILES ${headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tolvane/${folder})
  set_property(GLOBAL APPEND PROPERTY TOLVANE_PACKAGED_TARGETS ${target})
  set_property(TARGET ${target} PROPERTY TOLVANE_PUBLIC_HEADERS ${headers})
  set_property(TARGET ${target} PROPERTY TOLVANE_PACKAGE_NAME ${name})
endfunction()

# tolvane_install_compat(target folder headers...): installs the headers of folder (the
# platform's own header names, forwarding to a layer's headers) to include/tolvane/compat
# and puts that folder on the include path of the installed target and its .pc file.
function(tolvane_install_compat target folder)
  set(headers "")
  foreach(h ${ARGN})
    list(APPEND headers ${PROJECT_SOURCE_DIR}/${folder}/${h})
  endforeach()
  install(FILES ${headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tolvane/compat)
  target_include_directories(${target} INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/tolvane/compat>)
  set_property(TARGET ${target} PROPERTY TOLVANE_PC_COMPAT ON)
endfunction()

# tolvane_private_dependency(target [PACKAGE name] [PKGCONFIG module] [LIBS flags...]
#                            [DEB runtime-package] [DEBDEV dev-package]):
# something a packaged layer links privately. A shared library carries it itself; a
# static one leaves it to the program's link, so the package config finds PACKAGE again
# (find_dependency), the layer's .pc file names PKGCONFIG (or LIBS), and the Debian
# package depends on DEB (and recommends DEBDEV for building against the libraries).
function(tolvane_private_dependency target)
  cmake_parse_arguments(ARG "" "PACKAGE;PKGCONFIG;DEB;DEBDEV" "LIBS" ${ARGN})
  if(ARG_PACKAGE)
    set_property(GLOBAL APPEND PROPERTY TOLVANE_DEPENDENCY_PACKAGES ${ARG_PACKAGE})
  endif()
  if(ARG_PKGCONFIG)
    set_property(TARGET ${target} APPEND PROPERTY TOLVANE_PC_MODULES ${ARG_PKGCONFIG})
  endif()
  if(ARG_LIBS)
    set_property(TARGET ${target} APPEND PROPERTY TOLVANE_PC_LIBS ${ARG_LIBS})
  endif()
  if(ARG_DEB)
    set_property(GLOBAL APPEND PROPERTY TOLVANE_DEB_DEPENDS ${ARG_DEB})
  endif()
  if(ARG_DEBDEV)
    set_property(GLOBAL APPEND PROPERTY TOLVANE_DEB_RECOMMENDS ${ARG_DEBDEV})
  endif()
endfunction()

# tolvane_write_package(): once every layer is declared, the CMake package, the
# pkg-config files and the Debian package settings.
function(tolvane_write_package)
  get_property(packaged GLOBAL PROPERTY TOLVANE_PACKAGED_TARGETS)
  get_property(packages GLOBAL PROPERTY TOLVANE_DEPENDENCY_PACKAGES)

  # The installed headers, for the layering check (tests/layering).
  set(public "")
  foreach(target ${packaged})
    get_target_property(headers ${target} TOLVANE_PUBLIC_HEADERS)
    foreach(h ${headers})
      file(RELATIVE_PATH r ${PROJECT_SOURCE_DIR} ${h})
      list(APPEND public ${r})
    endforeach()
  endforeach()
  file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/package/public_headers.cmake
    CONTENT "set(public_headers \"${public}\")\n")
  list(REMOVE_DUPLICATES packages)

  # A shared build re-finds nothing: the public headers use no other library.
  if(BUILD_SHARED_LIBS)
    set(TOLVANE_FIND_DEPENDENCIES "")
  else()
    set(TOLVANE_FIND_DEPENDENCIES "${packages}")
  endif()
  install(EXPORT TolvaneTargets NAMESPACE Tolvane:: DESTINATION ${TOLVANE_CMAKE_DIR})
  configure_package_config_file(${TOLVANE_PACKAGE_TEMPLATES}/TolvaneConfig.cmake.in
    ${PROJECT_BINARY_DIR}/package/TolvaneConfig.cmake INSTALL_DESTINATION ${TOLVANE_CMAKE_DIR})
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/TolvaneConfigVersion.cmake
    COMPATIBILITY SameMinorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/package/TolvaneConfig.cmake
    ${PROJECT_BINARY_DIR}/package/TolvaneConfigVersion.cmake DESTINATION ${TOLVANE_CMAKE_DIR})

  # pkg-config: tolvane-<name>.pc per layer. Layers a layer links publicly are Requires;
  # what it links privately is Requires.private for a shared library and Requires (or
  # Libs) for a static one, so that a plain `pkg-config --libs` links.
  foreach(target ${packaged})
    get_target_property(name ${target} TOLVANE_PACKAGE_NAME)
    get_target_property(links ${target} LINK_LIBRARIES)
    get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
    get_target_property(modules ${target} TOLVANE_PC_MODULES)
    get_target_property(libs ${target} TOLVANE_PC_LIBS)
    get_target_property(link_flags ${target} TOLVANE_PC_LINK_FLAGS)
    get_target_property(compat ${target} TOLVANE_PC_COMPAT)
    set(PC_CFLAGS "")
    if(compat)
      set(PC_CFLAGS " -I\${includedir}/tolvane/compat")
    endif()
    set(public "")
    set(private "")
    foreach(l ${links})
      if(l IN_LIST packaged)
        get_target_property(n ${l} TOLVANE_PACKAGE_NAME)
        if(l IN_LIST interface)
          list(APPEND public tolvane-${n})
        else()
          list(APPEND private tolvane-${n})
        endif()
      endif()
    endforeach()
    if(modules)
      list(APPEND private ${modules})
    endif()
    set(libs_private "")
    if(libs)
      set(libs_private ${libs})
    endif()
    if(BUILD_SHARED_LIBS)
      set(PC_REQUIRES "${public}")
      set(PC_REQUIRES_PRIVATE "${private}")
      set(PC_LIBS "-ltolvane_${name}")
      set(PC_LIBS_PRIVATE "${libs_private}")
    else()
      set(PC_REQUIRES ${public} ${private})
      set(PC_REQUIRES_PRIVATE "")
      set(PC_LIBS -ltolvane_${name} ${libs_private})
      set(PC_LIBS_PRIVATE "")
    endif()
    # Link options a program of the layer needs, shared or static.
    if(link_flags)
      list(PREPEND PC_LIBS ${link_flags})
    endif()
    # A sanitized library, shared or static, needs its runtime in the program's own link.
    list(APPEND PC_LIBS ${TOLVANE_SANITIZER_LINK_OPTIONS})
    foreach(v PC_REQUIRES PC_REQUIRES_PRIVATE PC_LIBS PC_LIBS_PRIVATE)
      list(JOIN ${v} " " ${v})
    endforeach()
    set(PC_NAME ${name})
    # The .pc file finds its prefix from where it lies, so the installed tree can move.
    file(RELATIVE_PATH PC_PREFIX /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
    configure_file(${TOLVANE_PACKAGE_TEMPLATES}/tolvane.pc.in
      ${PROJECT_BINARY_DIR}/package/tolvane-${name}.pc @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/package/tolvane-${name}.pc
      DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  endforeach()

  # The Debian package: `cpack -G DEB` in the build folder.
  get_property(deb_depends GLOBAL PROPERTY TOLVANE_DEB_DEPENDS)
  get_property(deb_recommends GLOBAL PROPERTY TOLVANE_DEB_RECOMMENDS)
  list(REMOVE_DUPLICATES deb_depends)
  list(REMOVE_DUPLICATES deb_recommends)
  list(PREPEND deb_depends libc6 libstdc++6)
  list(APPEND deb_recommends g++ cmake pkg-config)
  list(JOIN deb_depends ", " deb_depends)
  list(JOIN deb_recommends ", " deb_recommends)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME tolvane)
  set(CPACK_PACKAGE_VENDOR "Tolvane")
  set(CPACK_PACKAGE_CONTACT "Tolvane developers <tolvane@localhost>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Small 3D game with its graphics utility libraries (software Direct3D 8 device)")
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION games)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${deb_depends}")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "${deb_recommends}")
  set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
  include(CPack)
endfunction()
