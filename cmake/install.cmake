# What `cmake --install` puts where, and the packages CPack makes of it:
# a Debian package (cpack -G DEB) on Linux, a zip (cpack -G ZIP) of the
# Windows build.
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME emu6502)
set(CPACK_PACKAGE_VENDOR "the emu6502 developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "6502 computer emulator for the terminal")
# Lines of at most 80 columns, as a Debian package's description wants.
set(CPACK_PACKAGE_DESCRIPTION [[
emu6502 runs 6502 machine code on a small computer with 64 KiB of RAM,
a keyboard, a console that passes escape sequences to the terminal, a
random byte, a calendar clock, byte-stream data files and a 100 Hz timer
interrupt. All 256 opcodes run with exact flags and cycle counts; the
6502X and 65C02 instruction sets are there too. It has a monitor with
breakpoints and a disassembler, and reproducible runs that can be
recorded and replayed. The emu6502-build command builds programs for it
in C or assembly with cc65.]])
set(CPACK_PACKAGE_CONTACT "emu6502 developers <maintainers@users.noreply.c-seed-0aa5a67d.example>")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # One folder in a zip: the program, the README as text, the manual, the examples.
  install(TARGETS emu6502 RUNTIME DESTINATION .)
  file(READ ${CMAKE_SOURCE_DIR}/README.md readme)
  # The lines that tell the session check how to run a block are for it alone.
  string(REGEX REPLACE "<!-- [^\n]* -->\n" "" readme "${readme}")
  string(REPLACE "\n" "\r\n" readme "${readme}")  # for every Windows editor
  file(WRITE ${CMAKE_BINARY_DIR}/README.txt "${readme}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/README.md)
  install(FILES ${CMAKE_BINARY_DIR}/README.txt DESTINATION .)
  install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION examples)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/doc/manual DESTINATION doc)  # where README.txt's links point
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-x64)
  include(CPack)
  return()
endif()

install(TARGETS emu6502 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The kit, whole (whatever sdk/ holds), and its command: a link to its
# build script, which finds the kit's files beside itself through it.
set(EMU6502_SDK_DIR ${CMAKE_INSTALL_DATADIR}/emu6502/sdk)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/sdk/ DESTINATION ${EMU6502_SDK_DIR} USE_SOURCE_PERMISSIONS
  PATTERN ".*" EXCLUDE PATTERN "*.o" EXCLUDE)
file(RELATIVE_PATH build_script /${CMAKE_INSTALL_BINDIR} /${EMU6502_SDK_DIR}/build.sh)
file(CREATE_LINK ${build_script} ${CMAKE_BINARY_DIR}/emu6502-build SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/emu6502-build DESTINATION ${CMAKE_INSTALL_BINDIR})

install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
# The JSON Schema of `emu6502 test` files: with the program's data, and
# beside the examples, whose test files name it as ../schema/.
install(FILES ${CMAKE_SOURCE_DIR}/schema/emu6502-test.schema.json DESTINATION ${CMAKE_INSTALL_DATADIR}/emu6502/schema)
install(FILES ${CMAKE_SOURCE_DIR}/schema/emu6502-test.schema.json DESTINATION ${CMAKE_INSTALL_DOCDIR}/schema)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The manual, where the README's links find it.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/doc/manual DESTINATION ${CMAKE_INSTALL_DOCDIR}/doc)
if(EXISTS ${CMAKE_SOURCE_DIR}/editors/vscode)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/editors/vscode DESTINATION ${CMAKE_INSTALL_DATADIR}/emu6502)
endif()

# Manual pages, from their scdoc sources; installed compressed.
find_program(SCDOC scdoc)
if(SCDOC)
  set(man_pages)
  foreach(page emu6502.1 emu6502-build.1)
    set(source ${CMAKE_SOURCE_DIR}/doc/${page}.scd)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${page} ${CMAKE_BINARY_DIR}/man/${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND sh -c "\"$0\" <\"$1\" >\"$2\" && gzip -9nc \"$2\" >\"$2.gz\""
              ${SCDOC} ${source} ${CMAKE_BINARY_DIR}/man/${page}
      DEPENDS ${source}
      COMMENT "Manual page ${page}"
      VERBATIM)
    list(APPEND man_pages ${CMAKE_BINARY_DIR}/man/${page})
    install(FILES ${CMAKE_BINARY_DIR}/man/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
  add_custom_target(man ALL DEPENDS ${man_pages})
else()
  message(STATUS "scdoc not found: no manual pages (install scdoc for them)")
endif()

# Shell completion, where bash-completion and zsh look under the prefix.
install(FILES ${CMAKE_SOURCE_DIR}/completions/emu6502.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME emu6502)
install(FILES ${CMAKE_SOURCE_DIR}/completions/emu6502.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME emu6502-build)
# zsh looks in vendor-completions for the system's packages (under /usr,
# as the Debian package installs) and in site-functions under other
# prefixes: decided when installing, when the prefix is known.
install(CODE "set(zsh_completion ${CMAKE_SOURCE_DIR}/completions/_emu6502)")
install(CODE [[
  if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    set(zsh_folder vendor-completions)
  else()
    set(zsh_folder site-functions)
  endif()
  file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/share/zsh/${zsh_folder}" TYPE FILE FILES "${zsh_completion}")
]])

# The Debian package, with the files Debian wants of every package.
set(debian ${CMAKE_SOURCE_DIR}/packaging/debian)
configure_file(${debian}/changelog.in ${CMAKE_BINARY_DIR}/debian/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/debian/changelog.gz
  COMMAND gzip -9nf -k ${CMAKE_BINARY_DIR}/debian/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog)
add_custom_target(debian_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/debian/changelog.gz ${debian}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${debian}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME emu6502)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION otherosfs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # libc, libstdc++, libedit from the binary
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "cc65")  # emu6502-build
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
include(CPack)
