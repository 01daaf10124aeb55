# The default application (defaultapp/) packaged at build time by the
# repository's own package writer and signed into an executable.
#
# zeq_embed_default_application(<target>): after <target> links, its file
# carries defaultapp/ as an enciphered package in its signature resource,
# with no loader path: start-up then loads Loader.html of the package root.
# The writer is the Windows program zeq_packager, run under wine64: in a tree whose emulator runs its programs (x86_64) it is
# this tree's own; elsewhere (the i686 product) an x86_64 build of it in
# <build>/hosttools (the signature calls work on executables of either
# width).
set(ZEQ_DEFAULT_APPLICATION_DIR "${CMAKE_SOURCE_DIR}/defaultapp")
set(ZEQ_DEFAULT_APPLICATION_VERSION "0.1.0.0")
set(ZEQ_DEFAULT_APPLICATION_LOADER "")

# Jobs of the host tools' own build (it runs inside the outer build).
set(ZEQ_HOST_TOOLS_JOBS 2 CACHE STRING "Parallel jobs of the build of the host tools")

if(NOT ZEQ_NATIVE)
  enable_language(RC)
endif()

function(zeq_packager_command out)
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    set(${out} ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:zeq_packager> PARENT_SCOPE)
    return()
  endif()
  if(NOT TARGET zeq_host_tools)
    include(ExternalProject)
    set(host_dir ${CMAKE_BINARY_DIR}/hosttools)
    ExternalProject_Add(zeq_host_tools
      SOURCE_DIR ${CMAKE_SOURCE_DIR}
      BINARY_DIR ${host_dir}
      CMAKE_ARGS -G Ninja -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/toolchain-x86_64.cmake
                 -DCMAKE_BUILD_TYPE=Release
      BUILD_COMMAND ${CMAKE_COMMAND} --build ${host_dir} --target zeq_packager --parallel ${ZEQ_HOST_TOOLS_JOBS}
      BUILD_ALWAYS ON
      BUILD_BYPRODUCTS ${host_dir}/package/zeq_packager.exe
      INSTALL_COMMAND "")
  endif()
  set(${out} /usr/bin/env WINEPREFIX=${CMAKE_BINARY_DIR}/hosttools/wineprefix WINEDEBUG=-all
      WINEDLLOVERRIDES=winedbg.exe=d /usr/lib/wine/wine64 ${CMAKE_BINARY_DIR}/hosttools/package/zeq_packager.exe
      PARENT_SCOPE)
endfunction()

# Packs a folder into a package file with the package writer; the rule is
# re-run when a file of the folder changes.
function(zeq_pack_folder target_name folder package)
  zeq_packager_command(packager)
  file(GLOB_RECURSE files CONFIGURE_DEPENDS ${folder}/*)
  add_custom_command(OUTPUT ${package}
    COMMAND ${packager} pack Z:${folder} Z:${package}
    DEPENDS ${files} $<IF:$<TARGET_EXISTS:zeq_host_tools>,zeq_host_tools,zeq_packager>
    COMMENT "Packing ${folder}" VERBATIM)
  add_custom_target(${target_name} DEPENDS ${package})
endfunction()

# Signs a package into an executable target after it links (it relinks
# when the package changes).
function(zeq_sign_package target package_target package version loader)
  zeq_packager_command(packager)
  add_dependencies(${target} ${package_target})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${package})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${packager} sign Z:$<TARGET_FILE:${target}> Z:${package} ${version} ${loader}
    VERBATIM)
endfunction()

function(zeq_embed_default_application target)
  if(ZEQ_NATIVE)
    return()
  endif()
  set(package ${CMAKE_BINARY_DIR}/defaultapp.zpk)
  if(NOT TARGET zeq_default_application)
    zeq_pack_folder(zeq_default_application ${ZEQ_DEFAULT_APPLICATION_DIR} ${package})
  endif()
  zeq_sign_package(${target} zeq_default_application ${package} ${ZEQ_DEFAULT_APPLICATION_VERSION}
                   "${ZEQ_DEFAULT_APPLICATION_LOADER}")
endfunction()
