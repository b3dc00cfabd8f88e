# Run at every build (cmake -P): writes the header that names the release and the commit
# the programs were built from. configure_file rewrites it only when its text changes, so an
# unchanged tree rebuilds nothing. Without git, or outside a clone, the commit is "unknown".
execute_process(COMMAND git describe --always --dirty
                WORKING_DIRECTORY "${SOURCE_DIR}"
                OUTPUT_VARIABLE MORPH_COMMIT
                RESULT_VARIABLE describeStatus
                OUTPUT_STRIP_TRAILING_WHITESPACE
                ERROR_QUIET)
if(NOT describeStatus EQUAL 0 OR MORPH_COMMIT STREQUAL "")
  set(MORPH_COMMIT unknown)
endif()
configure_file("${SOURCE_DIR}/core/run/version.h.in" "${OUTPUT}" @ONLY)
