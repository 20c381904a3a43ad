# The module graph, stated where each module's library is made and held to
# the sources by a check that every build runs (scripts/module-graph.py).
#
# Headers are included as "module/file.h" from the project root, so include
# paths alone cannot keep a module from reaching up or sideways; the check
# reads every file of every module and fails the build on an include that
# the graph does not allow.

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
# Links their libraries; the check holds the target's sources to the list.
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

# The C and C++ files among a target's sources, from the project root.
function(_sfx_code_files target out)
  get_target_property(sources ${target} SOURCES)
  get_target_property(folder ${target} SOURCE_DIR)
  set(files)
  foreach(source IN LISTS sources)
    if(source MATCHES "^\\$<" OR NOT source MATCHES "\\.(c|cc|cpp|cxx|h|hh|hpp)$")
      continue()
    endif()
    cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${folder} NORMALIZE OUTPUT_VARIABLE source)
    file(RELATIVE_PATH source ${PROJECT_SOURCE_DIR} ${source})
    list(APPEND files ${source})
  endforeach()
  set(${out} ${files} PARENT_SCOPE)
endfunction()

function(_sfx_json_list out)
  set(items)
  foreach(item IN LISTS ARGN)
    list(APPEND items "\"${item}\"")
  endforeach()
  list(JOIN items ", " text)
  set(${out} "[${text}]" PARENT_SCOPE)
endfunction()

# `folder` and every folder added below it.
function(_sfx_folders folder out)
  set(folders ${folder})
  get_property(subfolders DIRECTORY ${folder} PROPERTY SUBDIRECTORIES)
  foreach(subfolder IN LISTS subfolders)
    _sfx_folders(${subfolder} more)
    list(APPEND folders ${more})
  endforeach()
  set(${out} ${folders} PARENT_SCOPE)
endfunction()

# sfx_module_check([ALSO folder...] [EXCEPT file...]): called once, after
# every module and program is stated. Writes the graph for the check and
# makes every target of a module's folder, and every program stated with
# sfx_uses, depend on it. Outside the SYSTEM modules no file includes the
# operating system's headers: neither in the modules nor in the ALSO folders,
# save the EXCEPT files.
function(sfx_module_check)
  cmake_parse_arguments(ARG "" "" "ALSO;EXCEPT" ${ARGN})
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(script ${PROJECT_SOURCE_DIR}/scripts/module-graph.py)
  set(graph ${PROJECT_BINARY_DIR}/module_graph.json)
  set(stamp ${PROJECT_BINARY_DIR}/module_graph.stamp)
  set(dependents)
  set(inputs ${ARG_EXCEPT})

  get_property(modules GLOBAL PROPERTY SFX_MODULES)
  set(entries)
  foreach(name IN LISTS modules)
    get_property(library GLOBAL PROPERTY SFX_MODULE_TARGET_${name})
    get_property(system GLOBAL PROPERTY SFX_MODULE_SYSTEM_${name})
    get_property(public GLOBAL PROPERTY SFX_MODULE_PUBLIC_${name})
    get_property(private GLOBAL PROPERTY SFX_MODULE_PRIVATE_${name})
    get_property(listed GLOBAL PROPERTY SFX_MODULE_OTHER_SOURCES_${name})
    get_property(targets DIRECTORY ${PROJECT_SOURCE_DIR}/${name} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
      _sfx_code_files(${target} files)
      list(APPEND listed ${files})
      get_target_property(type ${target} TYPE)
      if(NOT type STREQUAL "INTERFACE_LIBRARY")
        list(APPEND dependents ${target})
      endif()
    endforeach()
    if(system)
      set(system true)
    else()
      set(system false)
    endif()
    _sfx_json_list(public ${public})
    _sfx_json_list(private ${private})
    list(APPEND inputs ${listed})
    _sfx_json_list(listed ${listed})
    list(APPEND entries "    {\"name\": \"${name}\", \"target\": \"${library}\", \"system\": ${system}, \"public\": ${public}, \"private\": ${private}, \"listed\": ${listed}}")
  endforeach()
  list(JOIN entries ",\n" module_entries)

  get_property(programs GLOBAL PROPERTY SFX_PROGRAMS)
  set(entries)
  foreach(target IN LISTS programs)
    get_property(uses GLOBAL PROPERTY SFX_PROGRAM_USES_${target})
    get_target_property(folder ${target} SOURCE_DIR)
    file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${folder})
    _sfx_code_files(${target} files)
    _sfx_json_list(uses ${uses})
    list(APPEND inputs ${files})
    _sfx_json_list(files ${files})
    list(APPEND entries "    {\"name\": \"${target}\", \"stated\": \"${folder}/CMakeLists.txt\", \"uses\": ${uses}, \"files\": ${files}}")
    list(APPEND dependents ${target})
  endforeach()
  list(JOIN entries ",\n" program_entries)

  _sfx_json_list(also ${ARG_ALSO})
  _sfx_json_list(except ${ARG_EXCEPT})
  # Written only when it changes, so that a new configure alone does not rerun the check.
  file(CONFIGURE OUTPUT ${graph} CONTENT "{
  \"modules\": [
${module_entries}
  ],
  \"programs\": [
${program_entries}
  ],
  \"also\": ${also},
  \"except\": ${except}
}
" @ONLY)

  # The check reruns when a CMakeLists.txt or a listed file changes: every
  # file of a module is listed (the check sees to it), and so are the sources
  # of the tests and benchmarks. (A depfile would name exactly what the check
  # read, but the Makefile generators only ever add to what one named, so a
  # deleted file would rerun the check on every build.)
  _sfx_folders(${PROJECT_SOURCE_DIR} folders)
  set(listfiles)
  foreach(folder IN LISTS folders)
    list(APPEND listfiles ${folder}/CMakeLists.txt)
    file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR} ${folder})
    foreach(also IN LISTS ARG_ALSO)
      if(relative STREQUAL also OR relative MATCHES "^${also}/")
        get_property(targets DIRECTORY ${folder} PROPERTY BUILDSYSTEM_TARGETS)
        foreach(target IN LISTS targets)
          _sfx_code_files(${target} files)
          list(APPEND inputs ${files})
        endforeach()
      endif()
    endforeach()
  endforeach()
  list(TRANSFORM inputs PREPEND ${PROJECT_SOURCE_DIR}/)
  list(REMOVE_DUPLICATES inputs)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${Python3_EXECUTABLE} ${script} --root ${PROJECT_SOURCE_DIR} --graph ${graph} --stamp ${stamp}
    DEPENDS ${script} ${graph} ${listfiles} ${inputs}
    COMMENT "Checking the module graph"
    VERBATIM)
  add_custom_target(module_graph_check DEPENDS ${stamp})
  foreach(target IN LISTS dependents)
    add_dependencies(${target} module_graph_check)
  endforeach()
endfunction()
