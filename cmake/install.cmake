# What `cmake --install` puts where, and the packages CPack makes of it:
# on Linux a Debian package (cpack -G DEB), on Windows a .zip of both
# programs with the README and the licence as CR LF text (cpack -G ZIP).

set(TW_DOC_GEN ${CMAKE_BINARY_DIR}/doc)
file(MAKE_DIRECTORY ${TW_DOC_GEN})
set(CPACK_PACKAGE_NAME tarnwickiso)
set(CPACK_PACKAGE_VENDOR "The TarnwickISO authors")
set(CPACK_PACKAGE_CONTACT "The TarnwickISO authors <dev@tarnwickiso.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "CD image mastering tool (ISO 9660, Joliet, El Torito)")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_CHECKSUM SHA256)

if(WIN32)
  # The archive's top folder holds the two programs and the two texts.
  install(TARGETS tarnwickiso TarnwickISO RUNTIME DESTINATION .)
  set(texts)
  foreach(text README.md:README.txt LICENSE:LICENSE.txt)
    string(REPLACE ":" ";" pair ${text})
    list(GET pair 0 source)
    list(GET pair 1 target)
    add_custom_command(
      OUTPUT ${TW_DOC_GEN}/${target}
      COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_CURRENT_SOURCE_DIR}/${source} -DOUT=${TW_DOC_GEN}/${target}
              -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/text_crlf.cmake
      DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${source} ${CMAKE_CURRENT_SOURCE_DIR}/cmake/text_crlf.cmake
      COMMENT "Writing ${target} with CR LF line ends")
    list(APPEND texts ${TW_DOC_GEN}/${target})
  endforeach()
  add_custom_target(tw_docs ALL DEPENDS ${texts})
  add_dependencies(tarnwickiso tw_docs)
  install(FILES ${texts} DESTINATION .)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_SYSTEM_NAME win32)
  else()
    set(CPACK_SYSTEM_NAME win64)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME TarnwickISO-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
  include(CPack)
  return()
endif()

include(GNUInstallDirs)
set(TW_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tarnwickiso)

# The manual page, dated by SOURCE_DATE_EPOCH when it is set, and stored
# compressed as Debian installs manual pages (man and mandoc read either).
find_program(TW_GZIP gzip REQUIRED)
string(TIMESTAMP TW_MAN_DATE "%Y-%m-%d" UTC)
configure_file(doc/tarnwickiso.1.in ${TW_DOC_GEN}/tarnwickiso.1 @ONLY)
add_custom_command(
  OUTPUT ${TW_DOC_GEN}/tarnwickiso.1.gz
  COMMAND ${TW_GZIP} -9 -n -c ${TW_DOC_GEN}/tarnwickiso.1 > ${TW_DOC_GEN}/tarnwickiso.1.gz
  DEPENDS ${TW_DOC_GEN}/tarnwickiso.1
  COMMENT "Compressing the manual page")

# The Debian package's own files: the copyright file (the licence) and the
# changelog that every package carries. The package is made by the project
# itself, so it is a native one (no Debian revision; changelog.gz).
string(TIMESTAMP TW_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(READ LICENSE TW_LICENSE_TEXT)
configure_file(packaging/deb/copyright.in ${TW_DOC_GEN}/copyright @ONLY)
configure_file(packaging/deb/changelog.in ${TW_DOC_GEN}/changelog @ONLY)
add_custom_command(
  OUTPUT ${TW_DOC_GEN}/changelog.gz
  COMMAND ${TW_GZIP} -9 -n -c ${TW_DOC_GEN}/changelog > ${TW_DOC_GEN}/changelog.gz
  DEPENDS ${TW_DOC_GEN}/changelog
  COMMENT "Compressing the package changelog")
add_custom_target(tw_docs ALL DEPENDS ${TW_DOC_GEN}/tarnwickiso.1.gz ${TW_DOC_GEN}/changelog.gz)
add_dependencies(tarnwickiso tw_docs)

# Component "program": what every installation holds. "standalone": what
# `cmake --install` adds beside it (the licence file, the zsh folder of a
# zsh built from source). "debian": what only the package holds instead
# (the licence in its copyright file, Debian's zsh folder for packages).
install(TARGETS tarnwickiso RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
install(FILES ${TW_DOC_GEN}/tarnwickiso.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT program)
install(FILES completions/tarnwickiso.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME tarnwickiso COMPONENT program)
install(FILES README.md DESTINATION ${TW_DOC_DIR} COMPONENT program)
install(FILES LICENSE DESTINATION ${TW_DOC_DIR} COMPONENT standalone)
install(FILES completions/_tarnwickiso DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/site-functions COMPONENT standalone)
install(FILES ${TW_DOC_GEN}/copyright ${TW_DOC_GEN}/changelog.gz DESTINATION ${TW_DOC_DIR}
        COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES completions/_tarnwickiso DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions
        COMPONENT debian EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL program debian)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_NAME tarnwickiso)
set(CPACK_DEBIAN_PACKAGE_SECTION otherosfs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The package's long text; CPack puts the summary line above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "TarnwickISO writes ISO 9660 (ECMA-119) images with an optional Joliet tree,
Rock Ridge and an El Torito boot catalog with BIOS and UEFI entries, as
2048-byte sectors or as raw 2352-byte CD-ROM Mode 1 sectors with EDC and
ECC (ECMA-130); a hybrid image also boots from a USB stick.
.
It also converts images between the two sector forms, checks and repairs
raw sectors, copies floppy drives and CD-ROM sector ranges into image files
with their cue sheets, and shows a disc's table of contents.")
include(CPack)
