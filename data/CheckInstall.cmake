# Installs the build into a fresh prefix and checks that every file lands where the desktop and the
# front end look for it. Run by ctest: cmake -DBUILD_DIR= -DPREFIX= -DPROGRAMS= -DBINDIR= -DDATADIR=
# -DDOCDIR= -P CheckInstall.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${result}):\n${output}")
endif()

set(missing "")
foreach(program IN LISTS PROGRAMS)
  if(NOT EXISTS "${PREFIX}/${BINDIR}/${program}" OR IS_DIRECTORY "${PREFIX}/${BINDIR}/${program}")
    list(APPEND missing "${BINDIR}/${program}")
  endif()
endforeach()
foreach(file "${DATADIR}/applications/ombrel-lumaro.desktop"
             "${DATADIR}/icons/hicolor/256x256/apps/ombrel-lumaro.png" "${DOCDIR}/README.md"
             "${DOCDIR}/ombrel.pdf" "${DATADIR}/man/man1/ombrel.1" "${DATADIR}/man/man1/kivotra.1"
             "${DATADIR}/man/man1/lumaro.1" "${DATADIR}/bash-completion/completions/ombrel")
  if(NOT EXISTS "${PREFIX}/${file}")
    list(APPEND missing "${file}")
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "Not installed under ${PREFIX}: ${missing}")
endif()

file(READ "${PREFIX}/${DATADIR}/applications/ombrel-lumaro.desktop" entry)
foreach(line "Exec=lumaro" "Icon=ombrel-lumaro" "Type=Application")
  string(FIND "${entry}" "\n${line}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "The desktop entry lacks the line ${line}")
  endif()
endforeach()

# A PNG of 256 x 256: the signature, then the IHDR chunk's width and height (big-endian).
file(READ "${PREFIX}/${DATADIR}/icons/hicolor/256x256/apps/ombrel-lumaro.png" head LIMIT 24 HEX)
if(NOT head STREQUAL "89504e470d0a1a0a0000000d494844520000010000000100")
  message(FATAL_ERROR "The icon is not a 256 x 256 PNG: ${head}")
endif()

foreach(program IN LISTS PROGRAMS)
  if(NOT EXISTS "${PREFIX}/${BINDIR}/${program}")
    continue()
  endif()
  execute_process(COMMAND test -x "${PREFIX}/${BINDIR}/${program}" RESULT_VARIABLE notExecutable)
  if(notExecutable)
    message(FATAL_ERROR "${BINDIR}/${program} is not executable")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")

