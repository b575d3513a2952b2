# Installs the build into a fresh prefix and checks that a desktop finds what
# it needs: the program, its desktop entry, the icon at every size, the demo.
#   cmake -DBUILD=<build dir> -DOUT=<prefix> -P install_check.cmake
file(REMOVE_RECURSE ${OUT})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${OUT}
  RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed: ${rc}")
endif()
foreach(f bin/kelvo share/applications/kelvo.desktop
          share/icons/hicolor/16x16/apps/kelvo.png share/icons/hicolor/32x32/apps/kelvo.png
          share/icons/hicolor/48x48/apps/kelvo.png share/icons/hicolor/scalable/apps/kelvo.svg
          share/kelvo/demo/demo.ini share/kelvo/demo/chime.wav share/kelvo/demo/twinkle.mid)
  if(NOT EXISTS ${OUT}/${f})
    message(FATAL_ERROR "missing after install: ${f}")
  endif()
  file(SIZE ${OUT}/${f} size)
  if(size EQUAL 0)
    message(FATAL_ERROR "empty after install: ${f}")
  endif()
endforeach()
file(READ ${OUT}/share/applications/kelvo.desktop desktop)
foreach(line "Name=オーディオ再生" "Exec=kelvo" "Icon=kelvo" "GenericName=Play-list player")
  string(FIND "${desktop}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "kelvo.desktop lacks '${line}'")
  endif()
endforeach()
# The installed demo names the files where the configured prefix puts them.
file(STRINGS ${OUT}/share/kelvo/demo/demo.ini entries)
list(GET entries 1 first)
if(NOT first MATCHES "/share/kelvo/demo/twinkle.mid")
  message(FATAL_ERROR "the installed demo names '${first}'")
endif()
