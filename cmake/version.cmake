# The one version of PIXEL BREAKER. VERSION holds the release number (1.0.0); the full version
# string adds where the tree stands:
#   - a git checkout whose HEAD carries the tag v<VERSION> and has no changes to tracked files
#     is a release commit: the version is VERSION itself ("1.0.0");
#   - any other git checkout: VERSION, "+g" and the first 12 digits of HEAD's hash
#     ("1.0.0+g0123456789ab"), and ".dirty" after it when tracked files have changes;
#   - a tree without git (the source tarball) reads the line "version ..." of its
#     SOURCE_VERSION file, which scripts/release writes into the tarball;
#   - anything else is "<VERSION>+unknown".
# The source time is the commit's time (seconds since 1970, UTC; SOURCE_VERSION's "time" line in
# a tarball): the one time stamp a release carries (SOURCE_DATE_EPOCH).
#
# pixbrk_read_version sets the base version, the full version, PIXBRK_SOURCE_TIME (empty when
# unknown), PIXBRK_RELEASE_DATE (its day, YYYY-MM-DD; today when unknown) and
# PIXBRK_VERSION_DEPENDS (the files whose change makes CMake configure again). Run as a script
# (cmake [-DSOURCE_DIR=DIR] -P cmake/version.cmake) it prints PIXBRK_BASE_VERSION=...,
# PIXBRK_VERSION=... and PIXBRK_SOURCE_TIME=... lines for a shell to read.

function(pixbrk_read_version src base_var full_var)
  file(STRINGS "${src}/VERSION" base LIMIT_COUNT 1)
  if(NOT base MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
    message(FATAL_ERROR "${src}/VERSION must hold one version number like 1.0.0, not '${base}'")
  endif()
  set(full "${base}+unknown")
  set(time "")
  set(depends "")
  find_program(PIXBRK_GIT git)
  set(top "")
  if(PIXBRK_GIT)
    execute_process(COMMAND "${PIXBRK_GIT}" rev-parse --show-toplevel WORKING_DIRECTORY "${src}"
                    OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
    if(failed)
      set(top "")
    endif()
  endif()
  file(REAL_PATH "${src}" real_src)
  if(top AND EXISTS "${top}")
    file(REAL_PATH "${top}" top)
  endif()
  if(top STREQUAL real_src)
    # The tree is a checkout of its own (not, say, an unpacked tarball inside another checkout).
    macro(pixbrk_git out)
      execute_process(COMMAND "${PIXBRK_GIT}" ${ARGN} WORKING_DIRECTORY "${src}" OUTPUT_VARIABLE ${out}
                      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    endmacro()
    pixbrk_git(hash rev-parse --verify -q HEAD)
    pixbrk_git(time log -1 --format=%ct HEAD)
    if(hash)
      string(SUBSTRING "${hash}" 0 12 short)
      pixbrk_git(tag tag --points-at HEAD --list "v${base}")
      pixbrk_git(changes status --porcelain --untracked-files=no)
      if(tag AND NOT changes)
        set(full "${base}")
      else()
        set(full "${base}+g${short}")
        if(changes)
          string(APPEND full ".dirty")
        endif()
      endif()
      # HEAD, the branch it names and the packed references: a commit or a checkout changes one.
      pixbrk_git(branch symbolic-ref -q HEAD)
      foreach(ref HEAD ${branch} packed-refs)
        pixbrk_git(path rev-parse --git-path "${ref}")
        if(path)
          get_filename_component(path "${path}" ABSOLUTE BASE_DIR "${src}")
          if(EXISTS "${path}")
            list(APPEND depends "${path}")
          endif()
        endif()
      endforeach()
    endif()
  elseif(EXISTS "${src}/SOURCE_VERSION")
    file(STRINGS "${src}/SOURCE_VERSION" line REGEX "^version " LIMIT_COUNT 1)
    string(REGEX REPLACE "^version " "" line "${line}")
    if(line MATCHES "^${base}(\\+[0-9A-Za-z.]+)?$")
      set(full "${line}")
    else()
      message(FATAL_ERROR "${src}/SOURCE_VERSION names version '${line}', which does not go with VERSION ${base}")
    endif()
    file(STRINGS "${src}/SOURCE_VERSION" time REGEX "^time [0-9]+$" LIMIT_COUNT 1)
    string(REGEX REPLACE "^time " "" time "${time}")
    list(APPEND depends "${src}/SOURCE_VERSION")
  endif()
  set(${base_var} "${base}" PARENT_SCOPE)
  set(${full_var} "${full}" PARENT_SCOPE)
  set(saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
  if(time)
    set(ENV{SOURCE_DATE_EPOCH} "${time}")  # what string(TIMESTAMP) shows instead of the clock
  endif()
  string(TIMESTAMP date "%Y-%m-%d" UTC)
  set(ENV{SOURCE_DATE_EPOCH} "${saved_epoch}")
  set(PIXBRK_RELEASE_DATE "${date}" PARENT_SCOPE)
  set(PIXBRK_SOURCE_TIME "${time}" PARENT_SCOPE)
  set(PIXBRK_VERSION_DEPENDS "${depends}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
  if(NOT SOURCE_DIR)
    get_filename_component(SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
  endif()
  pixbrk_read_version("${SOURCE_DIR}" base full)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E echo "PIXBRK_BASE_VERSION=${base}")
  execute_process(COMMAND "${CMAKE_COMMAND}" -E echo "PIXBRK_VERSION=${full}")
  execute_process(COMMAND "${CMAKE_COMMAND}" -E echo "PIXBRK_SOURCE_TIME=${PIXBRK_SOURCE_TIME}")
endif()
