# The dialog program's Windows resources, made at build time from what the Qt dialog reads:
# resources/dialogs/*.json (templates), resources/strings.json (string table) and
# resources/icons/*.svg (icons and bitmaps), with app/windows/tavrel.manifest and the project's
# version. scripts/windows_resources.py writes them; rsvg-convert (librsvg2-bin) rasterises the
# drawings and icotool (icoutils) packs the icons (make test-deps installs both).
#
#   tavrel_add_dialog_resources(TARGET)
#
# compiles the generated tavrel.rc into TARGET (an executable of the Windows build). Any number
# of targets may call it; they share one generated folder, windows-resources/ in the build.
include_guard(GLOBAL)

# Debian's interpreter first: the script needs nothing beyond Python's standard library.
find_program(TAVREL_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
find_program(TAVREL_PYTHON3 python3 REQUIRED)
find_program(TAVREL_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(TAVREL_RES_ICOTOOL icotool REQUIRED)

set(TAVREL_DIALOG_RESOURCES_DIR ${CMAKE_BINARY_DIR}/windows-resources)
set(TAVREL_DIALOG_RC ${TAVREL_DIALOG_RESOURCES_DIR}/tavrel.rc)
set(TAVREL_DIALOG_MANIFEST ${CMAKE_SOURCE_DIR}/app/windows/tavrel.manifest)
configure_file(${CMAKE_SOURCE_DIR}/app/windows/tavrel-version.h.in
  ${TAVREL_DIALOG_RESOURCES_DIR}/tavrel-version.h @ONLY)

# A new drawing or template is picked up by the next build without a configure by hand.
file(GLOB tavrel_dialog_resource_sources CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/resources/dialogs/*.json ${CMAKE_SOURCE_DIR}/resources/icons/*.svg)
# The .rc is written last, after every picture, and on every run: the programs' resource
# objects depend on it alone.
add_custom_command(OUTPUT ${TAVREL_DIALOG_RC}
  COMMAND ${TAVREL_PYTHON3} ${CMAKE_SOURCE_DIR}/scripts/windows_resources.py
    ${CMAKE_SOURCE_DIR} ${TAVREL_DIALOG_RESOURCES_DIR} ${TAVREL_DIALOG_MANIFEST}
    --rsvg-convert ${TAVREL_RSVG_CONVERT} --icotool ${TAVREL_RES_ICOTOOL}
  DEPENDS ${CMAKE_SOURCE_DIR}/scripts/windows_resources.py ${tavrel_dialog_resource_sources}
    ${CMAKE_SOURCE_DIR}/resources/strings.json ${CMAKE_SOURCE_DIR}/app/resource_ids.h
    ${CMAKE_SOURCE_DIR}/engine/job_ids.h ${TAVREL_DIALOG_MANIFEST}
    ${TAVREL_DIALOG_RESOURCES_DIR}/tavrel-version.h
  COMMENT "Generating the dialog's Windows resources"
  VERBATIM)
add_custom_target(tavrel_dialog_resources DEPENDS ${TAVREL_DIALOG_RC})

function(tavrel_add_dialog_resources target)
  target_sources(${target} PRIVATE ${TAVREL_DIALOG_RC})
  # The target may live in another folder, which cannot run this folder's rule itself.
  add_dependencies(${target} tavrel_dialog_resources)
  set_source_files_properties(${TAVREL_DIALOG_RC} TARGET_DIRECTORY ${target}
    PROPERTIES GENERATED TRUE)
endfunction()
