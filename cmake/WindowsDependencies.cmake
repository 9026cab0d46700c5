# zlib and libjpeg-turbo for the Windows program, built from Debian's source packages as static
# libraries with the same cross compiler. scripts/windows.sh fetches and unpacks the sources
# (with Debian's patches) into VERRELUNE_WINDOWS_SOURCES; nothing is downloaded here.
include(ExternalProject)

set(VERRELUNE_WINDOWS_SOURCES "" CACHE PATH
    "Folder holding the unpacked zlib and libjpeg-turbo sources (scripts/windows.sh makes it)")
foreach(source zlib libjpeg-turbo)
  if(NOT EXISTS "${VERRELUNE_WINDOWS_SOURCES}/${source}/CMakeLists.txt")
    message(FATAL_ERROR "No ${source} sources in '${VERRELUNE_WINDOWS_SOURCES}': "
                        "run scripts/windows.sh sources DIR and pass -DVERRELUNE_WINDOWS_SOURCES=DIR")
  endif()
endforeach()

# The sub-builds need the toolchain file's full path.
set(toolchain ${CMAKE_TOOLCHAIN_FILE})
if(NOT IS_ABSOLUTE ${toolchain})
  if(EXISTS ${CMAKE_BINARY_DIR}/${toolchain})
    set(toolchain ${CMAKE_BINARY_DIR}/${toolchain})
  else()
    set(toolchain ${CMAKE_SOURCE_DIR}/${toolchain})
  endif()
endif()

set(deps_prefix ${CMAKE_BINARY_DIR}/deps)
file(MAKE_DIRECTORY ${deps_prefix}/include)
set(deps_args
  -DCMAKE_TOOLCHAIN_FILE=${toolchain}
  -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_INSTALL_PREFIX=${deps_prefix}
  -DCMAKE_INSTALL_LIBDIR=${deps_prefix}/lib
  -DCMAKE_INSTALL_INCLUDEDIR=${deps_prefix}/include
  -DCMAKE_POSITION_INDEPENDENT_CODE=OFF)

# Only the static library: Debian's source leaves out the resource file of zlib's DLL.
ExternalProject_Add(zlib_windows
  SOURCE_DIR ${VERRELUNE_WINDOWS_SOURCES}/zlib
  CMAKE_ARGS ${deps_args}
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target zlibstatic
  INSTALL_COMMAND ${CMAKE_COMMAND} -E make_directory ${deps_prefix}/lib
  COMMAND ${CMAKE_COMMAND} -E copy <BINARY_DIR>/libzlibstatic.a ${deps_prefix}/lib/
  COMMAND ${CMAKE_COMMAND} -E copy <BINARY_DIR>/zconf.h <SOURCE_DIR>/zlib.h ${deps_prefix}/include/
  BUILD_BYPRODUCTS ${deps_prefix}/lib/libzlibstatic.a
  LOG_CONFIGURE ON LOG_BUILD ON LOG_INSTALL ON LOG_OUTPUT_ON_FAILURE ON
  EXCLUDE_FROM_ALL ON)
add_library(ZLIB::ZLIB STATIC IMPORTED GLOBAL)
set_target_properties(ZLIB::ZLIB PROPERTIES
  IMPORTED_LOCATION ${deps_prefix}/lib/libzlibstatic.a
  INTERFACE_INCLUDE_DIRECTORIES ${deps_prefix}/include)
add_dependencies(ZLIB::ZLIB zlib_windows)

# The SIMD code needs nasm; without it the library still builds, only slower.
find_program(VERRELUNE_NASM nasm)
ExternalProject_Add(jpeg_windows
  SOURCE_DIR ${VERRELUNE_WINDOWS_SOURCES}/libjpeg-turbo
  CMAKE_ARGS ${deps_args} -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF
             -DWITH_JPEG8=OFF -DWITH_SIMD=$<BOOL:${VERRELUNE_NASM}>
  BUILD_BYPRODUCTS ${deps_prefix}/lib/libjpeg.a
  LOG_CONFIGURE ON LOG_BUILD ON LOG_INSTALL ON LOG_OUTPUT_ON_FAILURE ON
  EXCLUDE_FROM_ALL ON)
add_library(JPEG::JPEG STATIC IMPORTED GLOBAL)
set_target_properties(JPEG::JPEG PROPERTIES
  IMPORTED_LOCATION ${deps_prefix}/lib/libjpeg.a
  INTERFACE_INCLUDE_DIRECTORIES ${deps_prefix}/include)
add_dependencies(JPEG::JPEG jpeg_windows)
