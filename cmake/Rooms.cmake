# app/'s rooms and the walls between them. A room is a library in a folder
# of app/ that declares the rooms it uses; the programs and the Python
# package declare the rooms they use too. At the end of the configure step
# every such target's links are checked against what it declares:
#   - a library in app/ that is no room, a program there that declares
#     nothing, a declared name that is no room, and a cycle among the
#     rooms' uses stop the configure step;
#   - a link to a room it does not declare, directly or through a library
#     that is no room, makes a target of its own that fails, with the reason,
#     whenever the offending target is built.
# What a room shows of its folder to those that link it depends on who
# looks: rooms, programs and tests see the whole folder, as
# `<room>/Header.h` and `<room>/<sub-room>/Header.h`; a target that sees
# only the rooms' offers (the Python package, an outside host) sees just the
# headers in each room's own folder and the sub-rooms the room offers, never
# its insides.
include_guard(GLOBAL)
include(${CMAKE_CURRENT_LIST_DIR}/FindCycle.cmake)

# veldra_room(NAME [USES ROOM...] [OFFERS SUBFOLDER...]): the library
# veldra_NAME, already added in the current source folder, is the room NAME,
# which uses the rooms USES (its own folder's code includes only them) and
# offers outsiders the headers of its folder and of the sub-folders OFFERS.
function(veldra_room name)
  cmake_parse_arguments(PARSE_ARGV 1 room "" "" "USES;OFFERS")
  set(target veldra_${name})
  set(folder ${CMAKE_CURRENT_SOURCE_DIR})
  set(whole ${CMAKE_BINARY_DIR}/include/${target})
  file(MAKE_DIRECTORY ${whole})
  file(CREATE_LINK ${folder} ${whole}/${name} SYMBOLIC)
  set(offer ${CMAKE_BINARY_DIR}/include/${target}-offer)
  file(MAKE_DIRECTORY ${offer}/${name})
  file(GLOB headers CONFIGURE_DEPENDS RELATIVE ${folder} ${folder}/*.h)
  foreach(entry ${headers} ${room_OFFERS})
    if(NOT EXISTS ${folder}/${entry})
      message(FATAL_ERROR "${folder}/CMakeLists.txt: the room ${name} offers ${entry}, which is not in its folder")
    endif()
    file(CREATE_LINK ${folder}/${entry} ${offer}/${name}/${entry} SYMBOLIC)
  endforeach()
  veldra_include_root(${target} "$<IF:$<BOOL:$<TARGET_PROPERTY:VELDRA_OFFERS_ONLY>>,${offer},${whole}>")
  set_target_properties(${target} PROPERTIES VELDRA_ROOM ${name} VELDRA_USES "${room_USES}")
  set_property(GLOBAL APPEND PROPERTY VELDRA_WALLED ${target})
endfunction()

# veldra_room_user(TARGET [USES ROOM...] [OFFERS_ONLY]): TARGET, a program or
# library that is no room, uses the rooms USES; with OFFERS_ONLY it sees only
# what they offer, not their insides.
function(veldra_room_user target)
  cmake_parse_arguments(PARSE_ARGV 1 user "OFFERS_ONLY" "" "USES")
  set_target_properties(${target} PROPERTIES VELDRA_USES "${user_USES}" VELDRA_OFFERS_ONLY ${user_OFFERS_ONLY})
  set_property(GLOBAL APPEND PROPERTY VELDRA_WALLED ${target})
endfunction()

# Sets OUT to the rooms TARGET links, each as "room" when linked directly or
# "room@helper" when reached through the library helper, which is no room
# (its own links are followed; a room's are its own business).
function(veldra_linked_rooms target out)
  set(found "")
  set(queue ${target})
  set(seen ${target})
  while(queue)
    list(POP_FRONT queue current)
    get_target_property(direct ${current} LINK_LIBRARIES)
    get_target_property(interface ${current} INTERFACE_LINK_LIBRARIES)
    foreach(item IN LISTS direct interface)
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" item "${item}")
      if(NOT TARGET "${item}" OR item IN_LIST seen)
        continue()
      endif()
      list(APPEND seen ${item})
      get_target_property(room ${item} VELDRA_ROOM)
      if(room)
        if(current STREQUAL target)
          list(APPEND found ${room})
        else()
          list(APPEND found ${room}@${current})
        endif()
      else()
        get_target_property(imported ${item} IMPORTED)
        if(NOT imported)
          list(APPEND queue ${item})
        endif()
      endif()
    endforeach()
  endwhile()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# Sets OUT to the libraries and programs made in FOLDER's build folder and
# in those below it.
function(veldra_targets_below folder out)
  get_directory_property(targets DIRECTORY ${folder} BUILDSYSTEM_TARGETS)
  get_directory_property(subfolders DIRECTORY ${folder} SUBDIRECTORIES)
  set(found "")
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    if(type MATCHES "LIBRARY|EXECUTABLE")
      list(APPEND found ${target})
    endif()
  endforeach()
  foreach(subfolder ${subfolders})
    veldra_targets_below(${subfolder} below)
    list(APPEND found ${below})
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

function(veldra_check_walls)
  get_property(walled GLOBAL PROPERTY VELDRA_WALLED)
  # Every library in app/ is a room, and every program there says which
  # rooms it uses: nothing there stands outside the walls.
  veldra_targets_below(${CMAKE_SOURCE_DIR}/app in_app)
  foreach(target ${in_app})
    if(NOT target IN_LIST walled)
      get_target_property(folder ${target} SOURCE_DIR)
      file(RELATIVE_PATH where ${CMAKE_SOURCE_DIR} ${folder}/CMakeLists.txt)
      message(FATAL_ERROR "${where}: ${target} declares no rooms: a library in app/ is a room, "
                          "veldra_room(NAME USES ROOM...), and a program says which rooms it uses, "
                          "veldra_room_user(${target} USES ROOM...) (cmake/Rooms.cmake)")
    endif()
  endforeach()

  set(rooms "")
  foreach(target ${walled})
    get_target_property(room ${target} VELDRA_ROOM)
    if(room)
      list(APPEND rooms ${room})
    endif()
  endforeach()

  foreach(target ${walled})
    get_target_property(folder ${target} SOURCE_DIR)
    file(RELATIVE_PATH where ${CMAKE_SOURCE_DIR} ${folder}/CMakeLists.txt)
    get_target_property(uses ${target} VELDRA_USES)
    foreach(use ${uses})
      if(NOT use IN_LIST rooms)
        list(JOIN rooms ", " known)
        message(FATAL_ERROR "${where}: ${target} uses the room ${use}, and there is no such room (the rooms: ${known})")
      endif()
    endforeach()
    get_target_property(room ${target} VELDRA_ROOM)
    if(room)
      set(uses_of_${room} ${uses})
    endif()

    veldra_linked_rooms(${target} linked)
    set(undeclared "")
    foreach(entry ${linked})
      string(REPLACE "@" ";" parts ${entry})
      list(GET parts 0 linked_room)
      if(NOT linked_room IN_LIST uses)
        list(LENGTH parts through)
        if(through EQUAL 2)
          list(GET parts 1 helper)
          list(APPEND undeclared "${linked_room} (veldra_${linked_room}, through ${helper})")
        else()
          list(APPEND undeclared "${linked_room} (veldra_${linked_room})")
        endif()
      endif()
    endforeach()
    if(undeclared)
      list(JOIN undeclared ", " undeclared)
      # Fails the build of the target, saying why.
      add_custom_target(${target}-walls
        COMMAND ${CMAKE_COMMAND} -E echo
                "${where}: ${target} links the room ${undeclared}, which it does not declare among the rooms it uses. A room uses only rooms below it: declare the room if ${target} may use it, else remove the link."
        COMMAND ${CMAKE_COMMAND} -E false VERBATIM)
      add_dependencies(${target} ${target}-walls)
    endif()
  endforeach()

  veldra_find_cycle("${rooms}" uses_of_ cycle)
  if(cycle)
    message(FATAL_ERROR "The rooms ${cycle} use each other in a cycle (as their veldra_room(... USES) say): "
                        "a room uses only rooms below it.")
  endif()
endfunction()

cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL veldra_check_walls)
