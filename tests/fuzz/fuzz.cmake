# One fuzz harness per parser: tests/fuzz/<name>_fuzz.cpp defines
# LLVMFuzzerTestOneInput and links the one library whose parser it feeds.
# With -DVELM_FUZZ=ON (clang) each becomes a libFuzzer program
# velm_fuzz_<name> (all of them: target velm_fuzzers), the libraries
# instrumented for it; otherwise each is built with a plain main and a test
# replays every seed under tests/data/fuzz through it.
option(VELM_FUZZ "Build the libFuzzer harnesses (clang)" OFF)
set(VELM_FUZZ_HARNESSES emf_pdf:velm_pdf wmf:velm_rendering html:velm_engine html_full:velm_engine rtf:velm_shell
    settings:velm_system ranges:velm_engine)
if(NOT VELM_FUZZ AND NOT VELM_TESTS)
  return()
endif()
add_custom_target(velm_fuzzers)
set(VELM_FUZZ_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)

add_library(velm_fuzz_support STATIC tests/fuzz/fuzz_support.cpp)
target_include_directories(velm_fuzz_support PUBLIC ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR})
target_link_libraries(velm_fuzz_support PUBLIC Qt6::Gui velm_test_logging)
if(VELM_FUZZ)
  foreach(library velm_core velm_system velm_metafile velm_rendering velm_pdf velm_printing
                  velm_engine velm_preview velm_shell velm_cli velm_fuzz_support velm_test_logging
                  velm_test_printer)
    target_compile_options(${library} PRIVATE ${VELM_FUZZ_FLAGS})
  endforeach()
endif()

foreach(harness ${VELM_FUZZ_HARNESSES})
  string(REPLACE ":" ";" harness ${harness})
  list(GET harness 0 name)
  list(GET harness 1 library)
  set(target velm_fuzz_${name})
  if(VELM_FUZZ)
    add_executable(${target} tests/fuzz/${name}_fuzz.cpp)
    target_compile_options(${target} PRIVATE ${VELM_FUZZ_FLAGS})
    target_link_options(${target} PRIVATE -fsanitize=fuzzer,address,undefined)
  else()
    add_executable(${target} tests/fuzz/${name}_fuzz.cpp tests/fuzz/replay_main.cpp)
    add_test(NAME Fuzz.${name}.ReplaysEverySeed COMMAND ${target} ${CMAKE_SOURCE_DIR}/tests/data/fuzz)
    set_tests_properties(Fuzz.${name}.ReplaysEverySeed PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 600)
  endif()
  target_link_libraries(${target} PRIVATE ${library} velm_fuzz_support)
  add_dependencies(velm_fuzzers ${target})
endforeach()
target_link_libraries(velm_fuzz_html PRIVATE velm_test_printer)
target_link_libraries(velm_fuzz_html_full PRIVATE velm_test_printer)
