target_sources(vorlet_core PRIVATE
  thinning/Helper.cpp
  thinning/Module2.cpp
)
# The helper thread of average thinning.
find_package(Threads REQUIRED)
target_link_libraries(vorlet_core PUBLIC Threads::Threads)
