# Runs a Qt Test program once more under the decimal-comma locale de_DE.UTF-8
# (QApplication takes LC_ALL from the environment): every number text it
# compares must read the same there. Skipped, saying why, when the locale is
# not installed (scripts/bootstrap generates it).
function(qel_add_decimal_comma_test target)
  if(WIN32)
    return()
  endif()
  set(check "locale -a 2>/dev/null | grep -ix 'de_DE\\.utf-\\?8' >/dev/null || { echo 'skipped: the locale de_DE.UTF-8 is not installed (scripts/bootstrap generates it)'; exit 77; }; exec \"$0\"")
  add_test(NAME ${target}_de_DE COMMAND sh -c "${check}" $<TARGET_FILE:${target}>)
  set_tests_properties(${target}_de_DE PROPERTIES LABELS gui SKIP_RETURN_CODE 77
                       ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=de_DE.UTF-8")
endfunction()
