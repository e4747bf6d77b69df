# Hardening of the Linux programs, as Debian builds its packages: the C library's
# checked functions (_FORTIFY_SOURCE, which needs an optimised build) and relocations
# that are resolved at start and then made read-only. Left out of the sanitizer and
# fuzz builds, whose checks come from the sanitizers, and of the Windows build.
if(WIN32 OR SANITIZE OR BUILD_FUZZERS)
  return()
endif()
add_compile_definitions($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
add_link_options(LINKER:-z,relro LINKER:-z,now)
