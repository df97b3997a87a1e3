# Checks that every folder includes headers only from itself and from the
# folders below it (docs/architecture.md). Headers are included by bare name,
# so each name must belong to exactly one folder.
#   cmake -DSOURCE_DIR=<project root> -P check_layers.cmake

# Each folder with the folders it may include from.
set(layer_app texfile imagecodec pixel platform/devices platform/d3d9 platform/win32 platform/processor)
set(layer_texfile imagecodec pixel platform/d3d9 platform/win32 platform/processor)
set(layer_imagecodec pixel platform/d3d9 platform/win32 platform/processor)
set(layer_pixel platform/d3d9 platform/win32 platform/processor)
set(layer_platform/devices platform/gl platform/vulkan platform/reference platform/d3d9 platform/win32 platform/processor)
set(layer_platform/d3d9 platform/win32 platform/processor)
set(layer_platform/gl platform/reference pixel platform/d3d9 platform/win32 platform/processor)
set(layer_platform/vulkan platform/reference pixel platform/d3d9 platform/win32 platform/processor)
set(layer_platform/reference pixel platform/d3d9 platform/win32 platform/processor)
set(layer_platform/win32 platform/processor)
set(layer_platform/processor)
set(folders app texfile imagecodec pixel platform/devices platform/d3d9 platform/gl platform/vulkan platform/reference
    platform/win32 platform/processor)

cmake_minimum_required(VERSION 3.25)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

set(faults)

# A new folder of code must find its place in the table above.
file(GLOB platform_folders LIST_DIRECTORIES true RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/platform/*)
foreach(folder ${platform_folders})
  if(IS_DIRECTORY ${SOURCE_DIR}/${folder} AND NOT folder IN_LIST folders)
    list(APPEND faults "${folder} has no line in the layer table of tests/check_layers.cmake")
  endif()
endforeach()

foreach(folder ${folders})
  file(GLOB_RECURSE headers ${SOURCE_DIR}/${folder}/*.h)
  foreach(header ${headers})
    get_filename_component(name ${header} NAME)
    if(DEFINED "owner_${name}")
      list(APPEND faults "${name} exists in both ${owner_${name}} and ${folder}")
    endif()
    set("owner_${name}" ${folder})
  endforeach()
endforeach()

foreach(folder ${folders})
  file(GLOB_RECURSE sources ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
  foreach(source ${sources})
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    file(RELATIVE_PATH shown ${SOURCE_DIR} ${source})
    foreach(line ${includes})
      string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*$" "\\1" included "${line}")
      get_filename_component(name "${included}" NAME)
      if(NOT DEFINED "owner_${name}")
        continue()
      endif()
      set(target ${owner_${name}})
      if(NOT target STREQUAL folder AND NOT target IN_LIST layer_${folder})
        list(APPEND faults "${shown} includes ${name} from ${target}, which is not below ${folder}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "Layering faults:\n  ${text}")
endif()
