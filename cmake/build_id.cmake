# Run at every build (cmake -P): writes OUT with an identifier made from the sources and the
# build's settings, rewriting it only when it changes. Modules carry it, and the daemon loads
# only modules that carry its own, so a module of other sources or settings is refused while
# two builds of the same sources with the same settings stay interchangeable (and reproducible).
# Inputs: SOURCE_DIR, OUT, SETTINGS.
file(GLOB_RECURSE sources LIST_DIRECTORIES false
  ${SOURCE_DIR}/app/*.cpp ${SOURCE_DIR}/app/*.h ${SOURCE_DIR}/base/*.cpp ${SOURCE_DIR}/base/*.h
  ${SOURCE_DIR}/platform/*.cpp ${SOURCE_DIR}/platform/*.h ${SOURCE_DIR}/control/*.cpp
  ${SOURCE_DIR}/control/*.h ${SOURCE_DIR}/cli/*.cpp ${SOURCE_DIR}/cli/*.h)
list(SORT sources)
set(digest "${SETTINGS}")
foreach(f IN LISTS sources)
  file(SHA256 ${f} h)
  file(RELATIVE_PATH rel ${SOURCE_DIR} ${f})
  string(APPEND digest "${rel}:${h};")
endforeach()
string(SHA256 id "${digest}")
string(SUBSTRING "${id}" 0 16 id)
set(text "// Generated at build time from the sources and the build's settings.\n#pragma once\n\n#define VESKOSD_BUILD_ID \"${id}\"\n")
if(EXISTS ${OUT})
  file(READ ${OUT} old)
endif()
if(NOT "${old}" STREQUAL "${text}")
  file(WRITE ${OUT} "${text}")
endif()
