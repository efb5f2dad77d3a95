target_sources(vorlet_core PRIVATE
  table/Cell.cpp
  table/CellTable.cpp
  table/NumberText.cpp
)
