# The reading and writing rules (text.cmake) and the file road (file.cmake).
foreach(part text file)
  if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/${part}.cmake)
    include(${CMAKE_CURRENT_LIST_DIR}/${part}.cmake)
  endif()
endforeach()
