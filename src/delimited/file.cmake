target_sources(vorlet_core PRIVATE
  delimited/FileRoad.cpp
  delimited/InputFile.cpp
  delimited/SafeFile.cpp
  delimited/StreamThinner.cpp
  delimited/TextEncoding.cpp
)
