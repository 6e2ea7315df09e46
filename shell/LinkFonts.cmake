# Fills the data folder's Font/ with links to the system's Noto fonts under the
# names the program loads. A font the system lacks is simply left out.
file(MAKE_DIRECTORY ${DST})
set(pairs
  "Quorvane-Regular.otf=/usr/share/fonts/truetype/noto/NotoSans-Regular.ttf"
  "NotoSansThai-Regular.ttf=/usr/share/fonts/truetype/noto/NotoSansThai-Regular.ttf"
  "Simplified_Chinese.ttf=/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"
  "NotoSansCJKtc-Regular.otf=/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc")
foreach(p IN LISTS pairs)
  string(REPLACE "=" ";" kv ${p})
  list(GET kv 0 name)
  list(GET kv 1 source)
  if(EXISTS ${source} AND NOT EXISTS ${DST}/${name})
    file(CREATE_LINK ${source} ${DST}/${name} SYMBOLIC)
  endif()
endforeach()
