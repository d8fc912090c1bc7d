# Runs Windows test programs under Wine in a prefix kept inside the build
# tree. The prefix is made once (a fixture) and a persistent wineserver keeps
# later Wine starts quick; the cleanup fixture stops it.
set(VISTREL_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(VISTREL_TEST_SCREEN 1920x1080)
set(CMAKE_CROSSCOMPILING_EMULATOR
    sh ${PROJECT_SOURCE_DIR}/cmake/wine-run.sh ${VISTREL_WINE_PREFIX} ${VISTREL_WINE_LOADER})

enable_testing()
if(NOT TEST wine_prefix_setup)
  # Every Wine process of the run, Wine's own services included, uses one
  # virtual display, so the display is up before the prefix starts.
  # A screen as common as any, on which most wallpapers are larger and some smaller.
  add_test(NAME xvfb_start COMMAND sh ${PROJECT_SOURCE_DIR}/cmake/xvfb.sh start ${VISTREL_WINE_PREFIX}
                                   ${VISTREL_TEST_SCREEN})
  set_tests_properties(xvfb_start PROPERTIES FIXTURES_SETUP display TIMEOUT 30)
  add_test(NAME xvfb_stop COMMAND sh ${PROJECT_SOURCE_DIR}/cmake/xvfb.sh stop ${VISTREL_WINE_PREFIX})
  set_tests_properties(xvfb_stop PROPERTIES FIXTURES_CLEANUP display)

  add_test(NAME wine_prefix_setup
           COMMAND sh ${PROJECT_SOURCE_DIR}/cmake/wine-prefix.sh start
                   ${VISTREL_WINE_PREFIX} ${VISTREL_WINE_LOADER})
  set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine FIXTURES_REQUIRED display
                      TIMEOUT 300)
  add_test(NAME wine_prefix_cleanup
           COMMAND sh ${PROJECT_SOURCE_DIR}/cmake/wine-prefix.sh stop
                   ${VISTREL_WINE_PREFIX} ${VISTREL_WINE_LOADER})
  set_tests_properties(wine_prefix_cleanup PROPERTIES FIXTURES_CLEANUP wine FIXTURES_REQUIRED display)
endif()

# A GoogleTest program under Wine: it passes only by reaching GoogleTest's
# closing summary, so a crash fails it whatever the exit status says.
# The test is named after the program unless NAME says otherwise; the rest
# of the arguments go to the program.
function(vistrel_add_wine_test target)
  cmake_parse_arguments(PARSE_ARGV 1 test "" NAME "")
  if(NOT test_NAME)
    set(test_NAME ${target})
  endif()
  add_test(NAME ${test_NAME}
           COMMAND sh ${PROJECT_SOURCE_DIR}/cmake/wine-gtest.sh ${VISTREL_WINE_PREFIX}
                   ${VISTREL_WINE_LOADER} $<TARGET_FILE:${target}> ${test_UNPARSED_ARGUMENTS})
  set_tests_properties(${test_NAME} PROPERTIES FIXTURES_REQUIRED "display;wine" TIMEOUT 300)
endfunction()
