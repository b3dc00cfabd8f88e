# Run at every build (cmake -P): writes the header that names the release and the commit
# the programs were built from. configure_file rewrites it only when its text changes, so an
# unchanged tree rebuilds nothing.
execute_process(COMMAND git describe --always --dirty
                WORKING_DIRECTORY "${SOURCE_DIR}"
                OUTPUT_VARIABLE MORPH_COMMIT
                RESULT_VARIABLE describeStatus
                OUTPUT_STRIP_TRAILING_WHITESPACE
                ERROR_QUIET)
# An exported tree (git archive, a release tarball) has no .git: the commit comes from the
# file the export wrote (.commit, filled in by git archive through .gitattributes), and
# without one the program names its release alone, never an unknown commit.
if(NOT describeStatus EQUAL 0 OR MORPH_COMMIT STREQUAL "")
  set(MORPH_COMMIT "")
  if(EXISTS "${SOURCE_DIR}/.commit")
    file(STRINGS "${SOURCE_DIR}/.commit" exported LIMIT_COUNT 1)
    # An unexpanded placeholder means the file came from a clone, not an export.
    if(exported MATCHES "^[0-9a-f]+$")
      set(MORPH_COMMIT "${exported}")
    endif()
  endif()
endif()
configure_file("${SOURCE_DIR}/core/run/version.h.in" "${OUTPUT}" @ONLY)
