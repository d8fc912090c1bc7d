# Sets VISTREL_SOURCE_DATE_EPOCH, the one time a release stores, so that every
# build of a commit gives the same bytes: SOURCE_DATE_EPOCH when set, else the
# last commit's time, else a fixed time (a build from an unpacked archive).
set(VISTREL_SOURCE_DATE_EPOCH 315532800)  # 1980-01-01 UTC, the earliest a ZIP can store
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(VISTREL_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
elseif(EXISTS ${PROJECT_SOURCE_DIR}/.git)
  # Only this tree's own history: an unpacked archive inside another checkout
  # must not take that checkout's time.
  execute_process(COMMAND git log -1 --format=%ct
                  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE git_status ERROR_QUIET)
  if(git_status EQUAL 0 AND commit_time MATCHES "^[0-9]+$")
    set(VISTREL_SOURCE_DATE_EPOCH ${commit_time})
  else()
    message(WARNING "git gave no commit time: the build stores 1980-01-01 instead")
  endif()
endif()
if(NOT VISTREL_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "SOURCE_DATE_EPOCH must be seconds since 1970, not '${VISTREL_SOURCE_DATE_EPOCH}'")
endif()
