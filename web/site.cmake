# The web page: every file of web/site/, and fflate's browser module with its licence as
# vendor/fflate.js and vendor/fflate-LICENSE, copied into ${CMAKE_BINARY_DIR}/site at build
# time. The target peek_site makes the whole site: these copies and the module beside them.
# fflate comes from web/node_modules, which `npm ci` in web/ fills from the lock file.

if(NOT DEFINED PEEK_SITE_DIR)
  set(PEEK_SITE_DIR ${CMAKE_BINARY_DIR}/site)
endif()
set(peek_web_dir ${CMAKE_CURRENT_LIST_DIR})
set(peek_fflate_dir ${peek_web_dir}/node_modules/fflate)

# The version web/package.json pins must be the one installed: a tree left from an earlier
# pin would otherwise be copied without a word.
file(READ ${peek_web_dir}/package.json peek_package)
string(REGEX MATCH "\"fflate\" *: *\"([^\"]+)\"" peek_match "${peek_package}")
set(peek_fflate_pinned ${CMAKE_MATCH_1})
set(peek_fflate_installed "")
if(EXISTS ${peek_fflate_dir}/package.json AND EXISTS ${peek_fflate_dir}/esm/browser.js
   AND EXISTS ${peek_fflate_dir}/LICENSE)
  file(READ ${peek_fflate_dir}/package.json peek_package)
  string(REGEX MATCH "\"version\" *: *\"([^\"]+)\"" peek_match "${peek_package}")
  set(peek_fflate_installed ${CMAKE_MATCH_1})
endif()
if(NOT peek_fflate_installed)
  message(FATAL_ERROR "web/node_modules/fflate is missing: run `npm ci` in ${peek_web_dir} "
                      "(it installs the fflate that web/package-lock.json records).")
endif()
if(NOT peek_fflate_installed STREQUAL peek_fflate_pinned)
  message(FATAL_ERROR "web/node_modules holds fflate ${peek_fflate_installed}, web/package.json "
                      "pins ${peek_fflate_pinned}: run `npm ci` in ${peek_web_dir}.")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${peek_web_dir}/package.json ${peek_fflate_dir}/package.json)

file(GLOB_RECURSE peek_site_files CONFIGURE_DEPENDS RELATIVE ${peek_web_dir}/site
     ${peek_web_dir}/site/*)
set(peek_site_copies)
foreach(name IN LISTS peek_site_files)
  list(APPEND peek_site_copies ${peek_web_dir}/site/${name} ${name})
endforeach()
list(APPEND peek_site_copies ${peek_fflate_dir}/esm/browser.js vendor/fflate.js
     ${peek_fflate_dir}/LICENSE vendor/fflate-LICENSE)

set(peek_site_outputs)
while(peek_site_copies)
  list(POP_FRONT peek_site_copies source target)
  get_filename_component(folder ${PEEK_SITE_DIR}/${target} DIRECTORY)
  add_custom_command(OUTPUT ${PEEK_SITE_DIR}/${target}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
                     COMMAND ${CMAKE_COMMAND} -E copy ${source} ${PEEK_SITE_DIR}/${target}
                     DEPENDS ${source} COMMENT "Copying ${target} into the site" VERBATIM)
  list(APPEND peek_site_outputs ${PEEK_SITE_DIR}/${target})
endwhile()
add_custom_target(peek_site ALL DEPENDS ${peek_site_outputs})
# Building the site builds the module it serves.
if(TARGET peek_web)
  add_dependencies(peek_site peek_web)
endif()
