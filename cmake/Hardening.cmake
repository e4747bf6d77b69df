# Hardening of the programs that the Debian package ships, as Debian builds its
# packages: the C library's checked functions (_FORTIFY_SOURCE, which needs an
# optimised build) and relocations that are resolved at start and then made
# read-only. Only for the program, its window module and the core and window
# layer they are built from (the tests' library takes the window layer's objects
# as the module has them); the tests keep their own flags (_FORTIFY_SOURCE would also make unused
# results of system() a warning there). The sanitizer build has them too: its
# package is checked by lintian like the others. Included by cmake/Install.cmake.
foreach(target shopping_core shopping-list shopping_ui_objects)
  target_compile_definitions(${target} PRIVATE $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
endforeach()
foreach(target shopping-list shopping_ui_module)
  target_link_options(${target} PRIVATE LINKER:-z,relro LINKER:-z,now)
endforeach()
