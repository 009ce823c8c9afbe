# The layers of the program, one static library per folder of src/.
#
# Every include names its layer from one root ("core/model/VectorModel.h"), but no target sees all of
# src/: each layer library publishes an include tree of its own that holds only its folder (a symbolic
# link under the build directory). A library sees its own folder and the folders of the layers it
# links, so a file that includes a layer above its own does not compile.
#
#   ostrel_layer(<target> <folder under src/> [LINK <targets>...] [PRIVATE_LINK <targets>...]
#                [EXCLUDE <sub-folders>...])
#
# EXCLUDE leaves out sub-folders that are a library of their own (which the layer then links).
function(ostrel_layer target folder)
  cmake_parse_arguments(LAYER "" "" "LINK;PRIVATE_LINK;EXCLUDE" ${ARGN})
  set(source_dir "${PROJECT_SOURCE_DIR}/src/${folder}")
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${source_dir}/*.cpp" "${source_dir}/*.h")
  foreach(excluded IN LISTS LAYER_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "^${source_dir}/${excluded}/")
  endforeach()
  set(tree "${PROJECT_BINARY_DIR}/layers/${target}")
  get_filename_component(parent "${tree}/${folder}" DIRECTORY)
  file(MAKE_DIRECTORY "${parent}")
  file(CREATE_LINK "${source_dir}" "${tree}/${folder}" SYMBOLIC)
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC "${tree}")
  target_link_libraries(${target} PUBLIC ${LAYER_LINK} PRIVATE ${LAYER_PRIVATE_LINK})
endfunction()
