# Runs GENERATOR into OUTPUT_DIR and requires each file it writes to equal the committed copy in
# EXPECTED_DIR byte for byte, and no committed icon piece to be left over.
file(REMOVE_RECURSE "${OUTPUT_DIR}")
execute_process(COMMAND "${GENERATOR}" "${OUTPUT_DIR}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${GENERATOR} failed: ${result}")
endif()

file(GLOB_RECURSE generated RELATIVE "${OUTPUT_DIR}" "${OUTPUT_DIR}/*")
file(GLOB committed_icon RELATIVE "${EXPECTED_DIR}" "${EXPECTED_DIR}/icon/*")
set(names ${generated} ${committed_icon})
list(REMOVE_DUPLICATES names)
list(SORT names)

set(differences "")
foreach(name IN LISTS names)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${OUTPUT_DIR}/${name}"
                          "${EXPECTED_DIR}/${name}"
                  RESULT_VARIABLE different OUTPUT_QUIET ERROR_QUIET)
  if(different)
    string(APPEND differences "\n  ${name}")
  endif()
endforeach()
list(LENGTH generated count)
if(count EQUAL 0 OR differences)
  message(FATAL_ERROR "Generated artwork differs from the committed files:${differences}\n"
                      "Rebuild the 'update_artwork' target and commit the result.")
endif()
message(STATUS "${count} artwork files match")
