list(APPEND TARVEL_DEVICE_UI_SOURCES
  ui/DialogTemplates.cpp
  ui/ProgressWindow.cpp
  ui/LengthText.cpp
  ui/PrintDialog.cpp
  ui/OptionsDialog.cpp
  ui/SetupRequests.cpp)
