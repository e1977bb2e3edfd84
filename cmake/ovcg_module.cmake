find_package(Threads REQUIRED)

# ovcg_add_module(<target> <folder> [DEPS <targets>...] [FLAGS <options>...])
# Builds every .cpp/.c below <folder> into one static library linked to the
# libraries in DEPS. A folder with no sources yet becomes an interface library
# so that dependants still link.
function(ovcg_add_module target folder)
  cmake_parse_arguments(M "" "" "DEPS;FLAGS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/${folder}/*.cpp ${PROJECT_SOURCE_DIR}/${folder}/*.c)
  if(srcs)
    add_library(${target} STATIC ${srcs})
    target_link_libraries(${target} PUBLIC ovcg_common Threads::Threads ${M_DEPS})
    if(M_FLAGS)
      target_compile_options(${target} PRIVATE ${M_FLAGS})
    endif()
  else()
    add_library(${target} INTERFACE)
    target_link_libraries(${target} INTERFACE ovcg_common ${M_DEPS})
  endif()
endfunction()

# ovcg_is_static(<target> <outvar>)
function(ovcg_is_static target outvar)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "STATIC_LIBRARY")
    set(${outvar} TRUE PARENT_SCOPE)
  else()
    set(${outvar} FALSE PARENT_SCOPE)
  endif()
endfunction()
