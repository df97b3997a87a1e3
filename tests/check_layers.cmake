# Checks that every folder includes headers only from itself and from the
# folders below it (docs/architecture.md). Includes name their folder from
# the project's root (#include "devices/core/renderer.h"), and every such
# include must name a header that exists.
#   cmake -DSOURCE_DIR=<project root> -P check_layers.cmake

# Each folder with the folders it may include from.
set(layer_app texfile imagecodec pixel devices/select platform/d3d9 platform/win32 platform/processor)
set(layer_texfile imagecodec pixel platform/d3d9 platform/win32 platform/processor)
set(layer_imagecodec pixel platform/d3d9 platform/win32 platform/processor)
set(layer_devices/select devices/gl devices/vulkan devices/software devices/core platform/d3d9 platform/win32
    platform/processor)
set(layer_devices/gl devices/core pixel platform/d3d9 platform/win32 platform/processor)
set(layer_devices/vulkan devices/core pixel platform/d3d9 platform/win32 platform/processor)
set(layer_devices/software devices/core pixel platform/d3d9 platform/win32 platform/processor)
set(layer_devices/core pixel platform/d3d9 platform/win32 platform/processor)
set(layer_pixel platform/d3d9 platform/win32 platform/processor)
set(layer_platform/d3d9 platform/win32 platform/processor)
set(layer_platform/win32 platform/processor)
set(layer_platform/processor)
set(folders app texfile imagecodec devices/select devices/gl devices/vulkan devices/software devices/core pixel
    platform/d3d9 platform/win32 platform/processor)

cmake_minimum_required(VERSION 3.25)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

set(faults)

# A new folder of code under devices/ or platform/ must find its place in the
# table above.
foreach(parent devices platform)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${parent}/*)
  foreach(folder ${children})
    if(IS_DIRECTORY ${SOURCE_DIR}/${folder} AND NOT folder IN_LIST folders)
      list(APPEND faults "${folder} has no line in the layer table of tests/check_layers.cmake")
    endif()
  endforeach()
endforeach()

# The folder of the table that holds a path: the longest entry it starts with.
function(owner_of path result)
  set(best "")
  foreach(folder ${folders})
    string(LENGTH "${folder}" length)
    string(SUBSTRING "${path}" 0 ${length} head)
    if(head STREQUAL folder)
      string(SUBSTRING "${path}" ${length} 1 next)
      string(LENGTH "${best}" best_length)
      if(next STREQUAL "/" AND length GREATER best_length)
        set(best ${folder})
      endif()
    endif()
  endforeach()
  set(${result} "${best}" PARENT_SCOPE)
endfunction()

foreach(folder ${folders})
  file(GLOB_RECURSE sources ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
  foreach(source ${sources})
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    file(RELATIVE_PATH shown ${SOURCE_DIR} ${source})
    foreach(line ${includes})
      string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*$" "\\1" included "${line}")
      # Files generated at build time (the SPIR-V word arrays) are not sources.
      if(included MATCHES "\\.inc$")
        continue()
      endif()
      owner_of("${included}" target)
      if(target STREQUAL "" OR NOT EXISTS ${SOURCE_DIR}/${included})
        list(APPEND faults "${shown} includes \"${included}\", which does not name a header by its folder")
      elseif(NOT target STREQUAL folder AND NOT target IN_LIST layer_${folder})
        list(APPEND faults "${shown} includes ${included}, which is not below ${folder}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "Layering faults:\n  ${text}")
endif()
