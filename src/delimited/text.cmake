target_sources(vorlet_core PRIVATE delimited/RecordScanner.cpp delimited/Parts.cpp delimited/Module3.cpp)
