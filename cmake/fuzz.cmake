# libFuzzer targets for the readers of outside input (clang only): each
# tests/fuzz/*.cpp is one fuzzer, built with ASan and UBSan, linked with the
# command line's library and all below it.
tw_sources(TW_FUZZ_SOURCES tests/fuzz/*.cpp)
foreach(source IN LISTS TW_FUZZ_SOURCES)
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} ${source})
  target_compile_options(${name} PRIVATE ${TW_WARNINGS} -fsanitize=fuzzer,address,undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${name} PRIVATE tw_cli)
endforeach()
