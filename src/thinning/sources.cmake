target_sources(vorlet_core PRIVATE
  thinning/Module2.cpp
)
