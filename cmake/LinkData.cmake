# Makes build/share/korvale look like an installed data folder: one link per
# entry of data/ (and skin/), so edits in the source tree show at once.
file(GLOB entries RELATIVE ${SRC}/data ${SRC}/data/*)
foreach(e IN LISTS entries)
  if(NOT e STREQUAL "udev" AND NOT EXISTS ${DST}/${e})
    file(CREATE_LINK ${SRC}/data/${e} ${DST}/${e} SYMBOLIC)
  endif()
endforeach()
if(EXISTS ${SRC}/skin AND NOT EXISTS ${DST}/skin)
  file(CREATE_LINK ${SRC}/skin ${DST}/skin SYMBOLIC)
endif()
