# Where everything goes on a Linux system: the programs, their man pages, the desktop
# entry, icons, AppStream metainfo, the MIME type of image files and the shell completion.
include(GNUInstallDirs)

set(TAVREL_URL "https://tavrel.example" CACHE STRING "The project's home page")
set(TAVREL_APPSTREAM_ID "example.tavrel.Tavrel" CACHE STRING
    "The AppStream component id, the home page's domain reversed")
# Directories made by the installation are world-readable whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(linux_dir ${CMAKE_SOURCE_DIR}/resources/linux)
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/tavrel)

install(TARGETS tavrel-cli tavrel-practice-drive RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET tavrel)
  install(TARGETS tavrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# Man pages from their scdoc sources, compressed as Debian keeps them, each into the folder of
# its section (what follows the last dot of its name): the programs in 1, the file formats in 5.
find_program(SCDOC scdoc REQUIRED)
set(man_pages)
foreach(page tavrel-cli.1 tavrel.1 tavrel-practice-drive.1 tavrel-formats.5)
  set(source ${CMAKE_SOURCE_DIR}/resources/man/${page}.scd)
  set(page_out ${CMAKE_BINARY_DIR}/man/${page})
  string(REGEX REPLACE ".*\\." "" section ${page})
  add_custom_command(OUTPUT ${page_out} ${page_out}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND sh -c "'${SCDOC}' < '${source}' > '${page_out}'"
    COMMAND sh -c "gzip -9n < '${page_out}' > '${page_out}.gz'"
    DEPENDS ${source}
    COMMENT "Man page ${page}"
    VERBATIM)
  list(APPEND man_pages ${page_out}.gz)
  install(FILES ${page_out}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()
add_custom_target(man ALL DEPENDS ${man_pages})

# The Debian changelog and the copyright file, compressed where Debian wants them compressed.
set(changelog_gz ${CMAKE_BINARY_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${changelog_gz}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
  COMMAND sh -c "gzip -9n < '${linux_dir}/changelog' > '${changelog_gz}'"
  DEPENDS ${linux_dir}/changelog
  VERBATIM)
add_custom_target(changelog ALL DEPENDS ${changelog_gz})
install(FILES ${changelog_gz} ${linux_dir}/copyright DESTINATION ${doc_dir})

configure_file(${linux_dir}/tavrel.metainfo.xml
  ${CMAKE_BINARY_DIR}/${TAVREL_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/${TAVREL_APPSTREAM_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${linux_dir}/tavrel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${linux_dir}/tavrel-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
  RENAME tavrel.xml)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/icons/hicolor
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES ${linux_dir}/tavrel-cli.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tavrel-cli)

# The listing module, where tavrel-cli looks for it: PREFIX/lib/ARCH/tavrel beside PREFIX/bin. A
# shared object, so without the execute bit, as Debian's policy wants.
if(TARGET tavrel-listing)
  install(TARGETS tavrel-listing LIBRARY DESTINATION ${TAVREL_LISTING_MODULE_DIR}
    PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endif()
