# Sanitizer builds: -DVEXO_SANITIZE=address (AddressSanitizer together with
# UndefinedBehaviorSanitizer, every finding fatal) or -DVEXO_SANITIZE=thread
# (ThreadSanitizer). gcc and clang both take these flags. The flags go onto
# every target of the project, wherever its rules are, as this file is read
# after all of them; scripts/sanitize.sh builds and runs such a build.

set(VEXO_SANITIZE "" CACHE STRING "Sanitizer build: address, thread or empty")
set_property(CACHE VEXO_SANITIZE PROPERTY STRINGS "" address thread)

if(VEXO_SANITIZE STREQUAL "")
  return()
elseif(VEXO_SANITIZE STREQUAL "address")
  set(vexo_sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=all)
elseif(VEXO_SANITIZE STREQUAL "thread")
  set(vexo_sanitize_flags -fsanitize=thread)
else()
  message(FATAL_ERROR "VEXO_SANITIZE must be address or thread, not '${VEXO_SANITIZE}'")
endif()
list(APPEND vexo_sanitize_flags -fno-omit-frame-pointer)

function(vexo_sanitize_directory dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
      target_compile_options(${target} PRIVATE ${vexo_sanitize_flags})
      if(NOT type MATCHES "^(STATIC|OBJECT)_LIBRARY$")
        target_link_options(${target} PRIVATE ${vexo_sanitize_flags})
      endif()
    endif()
  endforeach()
  get_property(subdirectories DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdirectory ${subdirectories})
    vexo_sanitize_directory(${subdirectory})
  endforeach()
endfunction()

vexo_sanitize_directory(${CMAKE_SOURCE_DIR})
