# intro-tiny: entry, binder, scene and fixed-point synthesizer, built for size under its own flags
# only. It enters at its own _start and links no runtime, so nothing that the rest of the tree adds
# to its compile or link flags (sanitizers, coverage, build-type flags) may reach it. Those flags
# are per-directory, so this file opens a directory scope of its own: included from shell/, it
# generates a one-line CMakeLists.txt that includes this file again inside a new subdirectory,
# where the inherited flags are cleared before the target is defined.

if(NOT TINY_SCOPE)
  file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/tiny-scope/CMakeLists.txt
       CONTENT "set(TINY_SCOPE ON)\ninclude(\"${CMAKE_CURRENT_LIST_FILE}\")\n")
  add_subdirectory(${CMAKE_CURRENT_BINARY_DIR}/tiny-scope ${CMAKE_CURRENT_BINARY_DIR}/tiny)
  return()
endif()

set(tiny_shell_dir ${PROJECT_SOURCE_DIR}/shell)

# Clear everything this scope inherited.
foreach(lang C CXX)
  foreach(cfg "" _DEBUG _RELEASE _RELWITHDEBINFO _MINSIZEREL)
    set(CMAKE_${lang}_FLAGS${cfg} "")
  endforeach()
endforeach()
foreach(cfg "" _DEBUG _RELEASE _RELWITHDEBINFO _MINSIZEREL)
  set(CMAKE_EXE_LINKER_FLAGS${cfg} "")
endforeach()
set_directory_properties(PROPERTIES COMPILE_OPTIONS "" COMPILE_DEFINITIONS "" LINK_OPTIONS "")

add_executable(intro-tiny ${tiny_shell_dir}/sdltest.cpp ${tiny_shell_dir}/initlib.cpp
               ${SCENE_TINY_SOURCES} ${VELK_SOURCES})  # absolute paths, from scene/ and synth_fixed/
set_target_properties(intro-tiny PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}
  POSITION_INDEPENDENT_CODE OFF)
target_compile_options(intro-tiny PRIVATE
  -Wall -Wextra ${TINY_FLAGS} -ffunction-sections -fdata-sections -fno-ident
  -fno-pie     # absolute addresses: shorter code, no relocations of our own
  -fno-plt     # dlopen and dlsym called through the GOT: no .plt section
  # tables aligned as the ABI needs, not padded to 32 bytes for vector loads
  $<$<CXX_COMPILER_ID:GNU>:-malign-data=abi>)
target_link_options(intro-tiny PRIVATE
  -no-pie -nostdlib -nostartfiles
  LINKER:--gc-sections,--build-id=none,-s
  # the classic symbol hash: smaller for two imports, and readable from the dynamic segment alone
  LINKER:--hash-style=sysv
  LINKER:--spare-dynamic-tags=0            # no reserved empty .dynamic entries
  LINKER:--no-ld-generated-unwind-info     # no (empty) .eh_frame: nothing unwinds
  LINKER:-z,noseparate-code,-z,norelro,-z,noexecstack
  # page-aligned in memory but packed in the file: the data segment follows the code directly
  LINKER:-z,common-page-size=64
  LINKER:--sort-section=alignment)  # least padding between input sections
target_link_libraries(intro-tiny PRIVATE c)  # for dlopen and dlsym only
# The loader needs only program headers: drop the section header table (about 1.1 KiB).
add_custom_command(TARGET intro-tiny POST_BUILD
  COMMAND ${PROJECT_SOURCE_DIR}/scripts/strip-section-headers $<TARGET_FILE:intro-tiny>
  VERBATIM)
