# cmake -DROOT=<source> -DPUBLIC=<public_headers.cmake> -P check_layers.cmake
#
# Fails when a file includes a layer that its own layer may not see. The layers and their
# arrows, as the design gives them (a layer also sees what its arrows see):
#   math    -> (nothing)
#   simd    -> (nothing)                      the choice of vector target (Highway only)
#   win32   -> (nothing)                      platform/win32
#   raster  -> simd (its own types otherwise)  raster
#   d3d8    -> win32, raster                  platform/d3d8
#   image   -> math, simd, platform (only the types and files: d3d8types.h, windows.h)
#   texture -> image, d3d8
#   app     -> platform (d3d8, win32), math
#   world   -> math, app
#   game    -> app, world, texture
# A layer that includes an installed layer includes only its public headers (the
# platform's parts excepted, which build one library together), and
# the public headers of each installed library include only public headers of its own
# layer and the layers below it.
cmake_minimum_required(VERSION 3.25)

set(arrows_math "")
set(arrows_simd "")
set(arrows_win32 "")
set(arrows_d3d8 "win32;raster")
set(arrows_raster "simd")
set(arrows_image "math;simd;d3d8;win32")
set(arrows_texture "image;d3d8")
set(arrows_app "d3d8;win32;math")
set(arrows_world "math;app")
set(arrows_game "app;world;texture")
set(units math simd win32 d3d8 raster image texture app world game)

# Narrowed arrows: from these layers, only the named headers of the layer pointed at.
set(only_image_d3d8 "platform/d3d8/d3d8types.h")
set(only_image_win32 "platform/win32/windows.h")

# The exceptions, file by file:
#  - app/main.cpp is the program entry, an executable above every layer: it builds the game.
#  - app/load_texture.cpp is the frame's texture service, AppFrame::LoadTexture, which calls
#    texture creation. The frame's public header does not show it.
set(exception_app/main.cpp "game")
set(exception_app/load_texture.cpp "texture")

include(${PUBLIC})  # public_headers: every installed header, relative to ROOT

# The unit of a path relative to ROOT, or "" for one outside the layers.
function(unit_of path out)
  if(path MATCHES "^platform/d3d8/")
    set(u d3d8)
  elseif(path MATCHES "^platform/win32/")
    set(u win32)
  elseif(path MATCHES "^([a-z0-9_]+)/")
    set(u ${CMAKE_MATCH_1})
    if(NOT u IN_LIST units)
      set(u "")
    endif()
  else()
    set(u "")
  endif()
  set(${out} "${u}" PARENT_SCOPE)
endfunction()

# The installed units: those with public headers. Only their public headers are for others.
set(installed_units "")
foreach(h ${public_headers})
  unit_of(${h} u)
  list(APPEND installed_units ${u})
endforeach()
list(REMOVE_DUPLICATES installed_units)

# What each unit sees: its arrows, followed to the end.
foreach(u ${units})
  set(seen "")
  set(todo ${arrows_${u}})
  while(todo)
    list(POP_FRONT todo next)
    if(NOT next IN_LIST seen)
      list(APPEND seen ${next})
      list(APPEND todo ${arrows_${next}})
    endif()
  endwhile()
  set(sees_${u} ${seen})
endforeach()

set(failures "")
set(checked 0)
foreach(dir math simd raster platform image texture app world game)
  file(GLOB_RECURSE files RELATIVE ${ROOT} ${ROOT}/${dir}/*.h ${ROOT}/${dir}/*.cpp)
  foreach(f ${files})
    unit_of(${f} from)
    set(is_public FALSE)
    if(f IN_LIST public_headers)
      set(is_public TRUE)
    endif()
    file(STRINGS ${ROOT}/${f} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line ${includes})
      string(REGEX MATCH "\"([^\"]+)\"" _ "${line}")
      set(target "${CMAKE_MATCH_1}")
      unit_of(${target} to)
      # raster is the platform's graphics processor, not a part of it: nothing under platform/.
      if(from STREQUAL "raster" AND target MATCHES "^platform/")
        list(APPEND failures "${f}: raster may include nothing from platform/ (${target})")
        continue()
      endif()
      if(to STREQUAL "")
        if(is_public AND NOT target MATCHES "^[^/]+$")
          list(APPEND failures "${f}: a public header includes ${target}, which is not installed")
        endif()
        continue()
      endif()
      math(EXPR checked "${checked} + 1")
      if(to STREQUAL from)
        if(is_public AND NOT target IN_LIST public_headers)
          list(APPEND failures "${f}: a public header includes ${target}, which is not installed")
        endif()
        continue()
      endif()
      if(to IN_LIST exception_${f} AND NOT is_public)
        continue()
      endif()
      if(NOT to IN_LIST sees_${from})
        list(APPEND failures "${f}: ${from} may not include ${to} (${target})")
      elseif(DEFINED only_${from}_${to} AND NOT target IN_LIST only_${from}_${to})
        list(APPEND failures "${f}: ${from} may include only ${only_${from}_${to}} of ${to} (${target})")
      elseif(to IN_LIST installed_units AND NOT target IN_LIST public_headers
             AND NOT from MATCHES "^(d3d8|raster|win32)$")
        list(APPEND failures "${f}: ${target} is internal to ${to}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(failures)
  list(JOIN failures "\n" text)
  message(FATAL_ERROR "Layering violations:\n${text}")
endif()
message(STATUS "layering: ${checked} includes between layers follow the arrows")
