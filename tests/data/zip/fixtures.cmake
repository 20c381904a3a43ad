# The zip test archives, made at build time by make_fixtures.py with
# Info-ZIP zip, 7-Zip and Python (unit tests and the fuzz seeds use them).
# Defines the target zip_fixtures and the variable ZIP_FIXTURES.
set(ZIP_FIXTURES ${CMAKE_BINARY_DIR}/tests/data/zip)
if(NOT TARGET zip_fixtures)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_custom_command(
    OUTPUT ${ZIP_FIXTURES}/stamp
    COMMAND Python3::Interpreter ${CMAKE_CURRENT_LIST_DIR}/make_fixtures.py ${ZIP_FIXTURES}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/make_fixtures.py ${CMAKE_CURRENT_LIST_DIR}/../../e2e/zip64_writer.py
    COMMENT "Making the zip test archives")
  add_custom_target(zip_fixtures DEPENDS ${ZIP_FIXTURES}/stamp)
endif()
