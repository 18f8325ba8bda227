# cmake -DTARGET=name -DSOURCES="a.cpp|b.h|..." -DSTAMP=file -P CheckNoQtSources.cmake
# Fails, naming the file and line, when a source of a standard-C++-only library includes a Qt
# header or uses a Qt macro; writes STAMP when none does.
string(REPLACE "|" ";" files "${SOURCES}")
set(problems)
foreach(file ${files})
  file(STRINGS ${file} lines)
  set(number 0)
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    if(line MATCHES "^[ \t]*#[ \t]*include[ \t]*[<\"](Q[A-Za-z0-9_]*|Qt[A-Za-z]*/[^>\"]*)[>\"]"
       OR line MATCHES "(^|[^A-Za-z0-9_])(Q_OBJECT|Q_GADGET|Q_PROPERTY|QT_[A-Z_]+)([^A-Za-z0-9_]|$)")
      list(APPEND problems "${file}:${number}: ${line}")
    endif()
  endforeach()
endforeach()
if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "${TARGET} must be standard C++ only; these lines use Qt:\n  ${text}")
endif()
file(WRITE ${STAMP} "")
