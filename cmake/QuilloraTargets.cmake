# Shared compile settings for every target of the project.
add_library(quillora_warnings INTERFACE)
target_compile_options(quillora_warnings INTERFACE -Wall -Wextra -Wpedantic -Wno-missing-field-initializers)

if(QUILLORA_SANITIZE)
  add_compile_options(-fsanitize=${QUILLORA_SANITIZE} -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${QUILLORA_SANITIZE})
endif()

if(QUILLORA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "QUILLORA_FUZZ needs clang (-DCMAKE_CXX_COMPILER=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# quillora_add_fuzzer(<name> SOURCES ... LIBS ...)
# A libFuzzer target, built only with QUILLORA_FUZZ.
function(quillora_add_fuzzer name)
  if(NOT QUILLORA_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS} quillora_warnings)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()

# quillora_add_test(<name> SOURCES ... LIBS ... [GUI])
# One GoogleTest executable; GUI tests get a QApplication on the offscreen platform,
# the others a QCoreApplication.
function(quillora_add_test name)
  cmake_parse_arguments(T "GUI;PLAIN" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_PLAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main GTest::gmock)
  elseif(T_GUI)
    target_link_libraries(${name} PRIVATE quillora_test_main_gui)
  else()
    target_link_libraries(${name} PRIVATE quillora_test_main_core)
  endif()
  target_link_libraries(${name} PRIVATE ${T_LIBS} quillora_warnings)
  gtest_discover_tests(${name}
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    DISCOVERY_TIMEOUT 60)
endfunction()
