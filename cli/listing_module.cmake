# The file listing's walk, the one part of the console tool that needs The Sleuth Kit, in a
# module of its own loaded when files or a batch first lists: libtsk brings some fifty libraries
# (the container formats, libcurl, the TLS and Kerberos libraries, ICU ...) that every command
# would otherwise load and relocate before main, though only those two list.
find_package(PkgConfig REQUIRED)
pkg_check_modules(TSK REQUIRED IMPORTED_TARGET tsk)
pkg_check_modules(GCRYPT REQUIRED IMPORTED_TARGET libgcrypt)

set(listing_walk_sources fat_entries.cpp listing_budget.cpp listing_damage.cpp listing_tsk.cpp
  listing_walk.cpp)

if(TAVREL_FUZZ)
  # The fuzz targets run from their own folder and want the sanitizers over the whole walk: the
  # walk is linked into the tool's library there.
  target_sources(tavrel_cli PRIVATE ${listing_walk_sources} listing_linked.cpp)
  target_link_libraries(tavrel_cli PUBLIC PkgConfig::TSK)
else()
  target_sources(tavrel_cli PRIVATE listing_loader.cpp)
  # The walk's few helpers from the rest of the program (the names, the hashes) are built into
  # the module again rather than taken from the tool, which shows none of its symbols: the
  # module stands on its own, and only its entry is visible.
  add_library(tavrel-listing MODULE ${listing_walk_sources}
    listing_names.cpp
    ${CMAKE_SOURCE_DIR}/engine/fixity.cpp
    ${CMAKE_SOURCE_DIR}/platform/digest.cpp
    ${CMAKE_SOURCE_DIR}/platform/last_error.cpp)
  set_target_properties(tavrel-listing PROPERTIES
    PREFIX ""
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${TAVREL_LISTING_MODULE_DIR})
  target_link_libraries(tavrel-listing PRIVATE PkgConfig::TSK PkgConfig::GCRYPT)
  target_link_options(tavrel-listing PRIVATE
    -Wl,--version-script=${CMAKE_CURRENT_SOURCE_DIR}/listing_module.map)
  set_target_properties(tavrel-listing PROPERTIES
    LINK_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/listing_module.map)
  if(NOT TAVREL_SANITIZE)
    # Every symbol it needs from its own libraries, none from the tool's.
    target_link_options(tavrel-listing PRIVATE -Wl,--no-undefined)
  endif()
  target_compile_definitions(tavrel_cli PRIVATE
    TAVREL_LISTING_MODULE="${TAVREL_LISTING_MODULE_DIR}/tavrel-listing.so")
  # Whatever links the tool's library may list, so the module is built before it.
  add_dependencies(tavrel_cli tavrel-listing)
endif()
