# The browser build's CP932 tables, generated from the build machine's glibc
# iconv by web/make_cp932_table.py (the browser build and the native test of
# its converter both use them). Sets ${out_var} to the generated source.
function(tavelo_cp932_table out_var)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(table ${CMAKE_BINARY_DIR}/generated/cp932_table.cpp)
  add_custom_command(OUTPUT ${table}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/web/make_cp932_table.py ${table}
    DEPENDS ${CMAKE_SOURCE_DIR}/web/make_cp932_table.py
    COMMENT "Taking CP932 tables from the build machine's iconv")
  set(${out_var} ${table} PARENT_SCOPE)
endfunction()
