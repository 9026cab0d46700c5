# The Windows installer (NSIS, Debian's makensis) and the portable zip, made after the program:
#   cmake --build build-windows --target installer portable
# Both land in build-windows/packages, named after the version and the processor.
set(paquets ${CMAKE_BINARY_DIR}/packages)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(processeur x86_64)
  set(cible amd64-unicode)
else()
  set(processeur x86)
  set(cible x86-unicode)
endif()
set(nom verrelune-${PROJECT_VERSION}-${processeur})
set(installateur ${paquets}/${nom}-setup.exe)
set(portable ${paquets}/${nom}-portable.zip)

# zlib, libjpeg-turbo and the compiler's runtime are linked into the program: their notices go
# with it.
set(avis ${CMAKE_BINARY_DIR}/packaging/THIRD-PARTY-NOTICES.txt)
file(WRITE ${avis} "verrelune.exe contains code from the following projects, under these terms.\n")
foreach(source "zlib:${VERRELUNE_WINDOWS_SOURCES}/zlib/LICENSE"
               "libjpeg-turbo:${VERRELUNE_WINDOWS_SOURCES}/libjpeg-turbo/LICENSE.md"
               "libjpeg-turbo (the Independent JPEG Group's part):${VERRELUNE_WINDOWS_SOURCES}/libjpeg-turbo/README.ijg"
               "mingw-w64 runtime and winpthreads:/usr/share/doc/mingw-w64-common/copyright")
  string(REGEX REPLACE "^([^:]*):(.*)$" "\\1" titre "${source}")
  string(REGEX REPLACE "^([^:]*):(.*)$" "\\2" fichier "${source}")
  if(NOT EXISTS ${fichier})
    message(FATAL_ERROR "The notice of ${titre} is missing: ${fichier}")
  endif()
  file(READ ${fichier} texte)
  file(APPEND ${avis} "\n\n==== ${titre} ====\n\n${texte}")
endforeach()

configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/verrelune.nsi.in ${CMAKE_BINARY_DIR}/packaging/verrelune.nsi @ONLY)

find_program(VERRELUNE_MAKENSIS makensis)
if(VERRELUNE_MAKENSIS)
  add_custom_command(
    OUTPUT ${installateur}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${paquets}
    COMMAND ${VERRELUNE_MAKENSIS} -V2 -INPUTCHARSET UTF8
            "-DPROGRAMME=$<TARGET_FILE:verrelune>" "-DSORTIE=${installateur}"
            ${CMAKE_BINARY_DIR}/packaging/verrelune.nsi
    DEPENDS verrelune ${CMAKE_BINARY_DIR}/packaging/verrelune.nsi ${avis}
    COMMENT "Making the installer ${nom}-setup.exe")
  add_custom_target(installer DEPENDS ${installateur})
else()
  add_custom_target(installer
    COMMAND ${CMAKE_COMMAND} -E echo "makensis is missing (Debian package nsis)"
    COMMAND ${CMAKE_COMMAND} -E false)
endif()

set(dossier_portable ${CMAKE_BINARY_DIR}/packaging/portable)
add_custom_command(
  OUTPUT ${portable}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${dossier_portable}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${dossier_portable} ${paquets}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:verrelune> ${avis} ${dossier_portable}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${portable}
  COMMAND ${CMAKE_COMMAND} -E chdir ${dossier_portable}
          ${CMAKE_COMMAND} -E tar cf ${portable} --format=zip verrelune.exe THIRD-PARTY-NOTICES.txt
  DEPENDS verrelune ${avis}
  COMMENT "Making the portable zip ${nom}-portable.zip")
add_custom_target(portable DEPENDS ${portable})
