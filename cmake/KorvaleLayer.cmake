# korvale_layer(NAME [DEPS lib...])
# One static library per layer folder, built from every source in the folder.
# The repository root is the include root: code includes "hid/hid_device.h".
function(korvale_layer name)
  cmake_parse_arguments(L "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(korvale_${name} STATIC ${srcs})
  target_include_directories(korvale_${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(korvale_${name} PUBLIC ${L_DEPS})
  target_compile_definitions(korvale_${name} PUBLIC
    KORVALE_INSTALL_DATA_DIR="${CMAKE_INSTALL_PREFIX}/share/korvale"
    KORVALE_VERSION="${PROJECT_VERSION}")
endfunction()

# korvale_program(NAME [NOINSTALL] SOURCES... DEPS lib...)
# NOINSTALL: a developer's tool, built but not installed.
function(korvale_program name)
  cmake_parse_arguments(P "NOINSTALL" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${P_SOURCES})
  target_link_libraries(${name} PRIVATE ${P_DEPS})
  add_dependencies(${name} korvale_data)
  if(NOT P_NOINSTALL)
    install(TARGETS ${name} RUNTIME DESTINATION bin)
  endif()
endfunction()
