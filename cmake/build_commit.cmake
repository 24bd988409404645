# Writes OUTPUT, a source file defining kBuildCommit: the abbreviated git
# commit that SOURCE_DIR is checked out at ("-dirty" after it when tracked
# files differ from it), or "" when SOURCE_DIR is not a git checkout or git
# is missing. Run at every build; configure_file leaves OUTPUT untouched
# when its text is unchanged, so nothing is rebuilt then.
set(commit "")
find_program(GIT_PROGRAM git)
if(GIT_PROGRAM)
  execute_process(COMMAND ${GIT_PROGRAM} -C ${SOURCE_DIR} rev-parse --short=7 HEAD
                  OUTPUT_VARIABLE head RESULT_VARIABLE failed ERROR_QUIET
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  # Only a checkout of this source tree counts, not a repository around it
  # (a source archive unpacked inside someone's home repository, say).
  execute_process(COMMAND ${GIT_PROGRAM} -C ${SOURCE_DIR} rev-parse --show-toplevel
                  OUTPUT_VARIABLE top RESULT_VARIABLE top_failed ERROR_QUIET
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT failed AND NOT top_failed)
    file(REAL_PATH "${top}" top)
    file(REAL_PATH "${SOURCE_DIR}" source)
    if(top STREQUAL source)
      set(commit "${head}")
      execute_process(COMMAND ${GIT_PROGRAM} -C ${SOURCE_DIR} diff --quiet HEAD --
                      RESULT_VARIABLE dirty ERROR_QUIET)
      if(dirty)
        string(APPEND commit "-dirty")
      endif()
    endif()
  endif()
endif()
set(VIREO_BUILD_COMMIT "${commit}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/build_commit.cc.in ${OUTPUT} @ONLY)
