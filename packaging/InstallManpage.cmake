include(GNUInstallDirs)

# pemblor_install_manpage(SOURCE NAME): installs the man page SOURCE as
# man1/NAME.gz, compressed at build time as Debian policy asks (gzip -9n:
# maximum compression, no file name and no time stamp in the header).
function(pemblor_install_manpage source name)
  set(work ${CMAKE_CURRENT_BINARY_DIR}/man)
  add_custom_command(OUTPUT ${work}/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${work}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${work}/${name}
    COMMAND gzip -9nf ${work}/${name}
    DEPENDS ${source}
    VERBATIM)
  string(MAKE_C_IDENTIFIER "${name}" id)
  add_custom_target(manpage_${id} ALL DEPENDS ${work}/${name}.gz)
  install(FILES ${work}/${name}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
