list(APPEND TARVEL_DEVICE_UI_SOURCES
  ui/DialogTemplates.cpp
  ui/ProgressWindow.cpp)
