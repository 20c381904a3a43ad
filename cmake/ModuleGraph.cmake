# The module graph, stated where each module's library is made.
#
# Headers are included as "module/file.h" from the project root, so include
# paths alone cannot keep a module from reaching up or sideways: each module
# states the modules it uses, and links exactly those.

# sfx_module(NAME [TARGET library] [SYSTEM] [PUBLIC module...] [PRIVATE module...]
#            [OTHER_SOURCES file...])
#
# States module NAME, the folder of that name, made into `library` (NAME by
# default; its sources list the headers too), and the modules whose headers
# its files include: PUBLIC when the module's own headers include them,
# PRIVATE when only its sources do. Links the library to theirs accordingly.
# A module uses only modules stated before it, and the top CMakeLists.txt
# adds the modules lowest first, so the graph stays one-way. SYSTEM: the module may include the operating system's headers
# (the platform layer, and nothing else). OTHER_SOURCES: sources of the folder
# that only other builds use (the other platform backend).
function(sfx_module name)
  cmake_parse_arguments(ARG "SYSTEM" "TARGET" "PUBLIC;PRIVATE;OTHER_SOURCES" ${ARGN})
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "sfx_module(${name}): unexpected ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT ARG_TARGET)
    set(ARG_TARGET ${name})
  endif()
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  if(NOT folder STREQUAL name)
    message(FATAL_ERROR "sfx_module(${name}) belongs in ${name}/CMakeLists.txt, not in ${folder}/")
  endif()
  get_property(stated GLOBAL PROPERTY SFX_MODULES)
  set(link_args)
  foreach(kind PUBLIC PRIVATE)
    if(ARG_${kind})
      list(APPEND link_args ${kind})
    endif()
    foreach(used IN LISTS ARG_${kind})
      if(NOT used IN_LIST stated)
        message(FATAL_ERROR "sfx_module(${name}): ${used} is not a module below ${name}; "
                            "the modules below it, lowest first: ${stated}")
      endif()
      get_property(library GLOBAL PROPERTY SFX_MODULE_TARGET_${used})
      list(APPEND link_args ${library})
    endforeach()
  endforeach()

  get_target_property(type ${ARG_TARGET} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    if(ARG_PRIVATE)
      message(FATAL_ERROR "sfx_module(${name}): a module of headers only has no sources to use ${ARG_PRIVATE} privately")
    endif()
    target_include_directories(${ARG_TARGET} INTERFACE ${PROJECT_SOURCE_DIR})
    list(TRANSFORM link_args REPLACE "^PUBLIC$" "INTERFACE")
  else()
    target_include_directories(${ARG_TARGET} PUBLIC ${PROJECT_SOURCE_DIR})
  endif()
  if(link_args)
    target_link_libraries(${ARG_TARGET} ${link_args})
  endif()

  list(TRANSFORM ARG_OTHER_SOURCES PREPEND ${name}/)
  set_property(GLOBAL APPEND PROPERTY SFX_MODULES ${name})
  set_property(GLOBAL PROPERTY SFX_MODULE_TARGET_${name} ${ARG_TARGET})
  set_property(GLOBAL PROPERTY SFX_MODULE_SYSTEM_${name} ${ARG_SYSTEM})
  set_property(GLOBAL PROPERTY SFX_MODULE_PUBLIC_${name} ${ARG_PUBLIC})
  set_property(GLOBAL PROPERTY SFX_MODULE_PRIVATE_${name} ${ARG_PRIVATE})
  set_property(GLOBAL PROPERTY SFX_MODULE_OTHER_SOURCES_${name} ${ARG_OTHER_SOURCES})
endfunction()

# sfx_uses(TARGET module...): a program outside the modules (one the tests
# start, a benchmark) and the modules whose headers its sources include.
# Links their libraries.
function(sfx_uses target)
  get_property(stated GLOBAL PROPERTY SFX_MODULES)
  foreach(used IN LISTS ARGN)
    if(NOT used IN_LIST stated)
      message(FATAL_ERROR "sfx_uses(${target}): ${used} is not a module of this build; the modules: ${stated}")
    endif()
    get_property(library GLOBAL PROPERTY SFX_MODULE_TARGET_${used})
    target_link_libraries(${target} PRIVATE ${library})
  endforeach()
  set_property(GLOBAL APPEND PROPERTY SFX_PROGRAMS ${target})
  set_property(GLOBAL PROPERTY SFX_PROGRAM_USES_${target} ${ARGN})
endfunction()
