# Fails when a file includes a layer that its own layer may not see. The arrows:
#   math     -> (nothing)
#   platform -> platform (raster only sees the Direct3D 8 types)
#   image    -> math, platform
#   texture  -> image, platform, math
#   app      -> platform, math, texture
#   world    -> math, app
#   game     -> app, world, texture, platform, math
# app/main.cpp, the program entry, sits above them all and builds the game.
set(allowed_math "math")
set(allowed_platform "platform")
set(allowed_image "image;math;platform")
set(allowed_texture "texture;image;platform;math")
set(allowed_app "app;platform;math;texture")
set(allowed_world "world;math;app;platform")
set(allowed_game "game;app;world;texture;platform;math;image")
set(layers math platform image texture app world game)
set(all_layers math platform image texture app world game tools tests bench)

set(failures "")
foreach(layer ${layers})
  file(GLOB_RECURSE files ${ROOT}/${layer}/*.h ${ROOT}/${layer}/*.cpp)
  foreach(f ${files})
    # The program entry (app/main.cpp) is an executable of its own, above every layer.
    if(f STREQUAL "${ROOT}/app/main.cpp")
      continue()
    endif()
    file(STRINGS ${f} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[a-z0-9_]+/")
    foreach(line ${includes})
      string(REGEX MATCH "\"([a-z0-9_]+)/" _ "${line}")
      set(target_layer "${CMAKE_MATCH_1}")
      list(FIND all_layers "${target_layer}" known)
      if(known EQUAL -1)
        continue()
      endif()
      list(FIND allowed_${layer} "${target_layer}" ok)
      if(ok EQUAL -1)
        list(APPEND failures "${f}: ${layer}/ may not include ${target_layer}/ (${line})")
      endif()
    endforeach()
  endforeach()
endforeach()

# raster/ sees only the Direct3D 8 types, never the device or the window layer.
file(GLOB_RECURSE raster_files ${ROOT}/platform/d3d8/raster/*.h ${ROOT}/platform/d3d8/raster/*.cpp)
foreach(f ${raster_files})
  file(STRINGS ${f} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"platform/")
  foreach(line ${includes})
    if(NOT line MATCHES "platform/d3d8/raster/" AND NOT line MATCHES "platform/d3d8/d3d8types.h"
       AND NOT line MATCHES "platform/win32/windows.h")
      list(APPEND failures "${f}: raster/ may include only the Direct3D 8 types (${line})")
    endif()
  endforeach()
endforeach()

if(failures)
  list(JOIN failures "\n" text)
  message(FATAL_ERROR "Layering violations:\n${text}")
endif()
message(STATUS "layering: every include follows the arrows")
