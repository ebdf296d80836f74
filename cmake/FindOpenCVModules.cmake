# Finds the four OpenCV modules the programs use (core, imgproc, imgcodecs,
# videoio) and makes one imported target for each, opencv::<module>.
#
# Debian ships OpenCV's own CMake config only in the meta package
# libopencv-dev, which pulls in Qt, VTK and MPI. When that config is present
# we use it; otherwise the module packages' headers and libraries are enough.

set(_opencv_modules core imgproc imgcodecs videoio)

find_package(OpenCV 4 QUIET COMPONENTS ${_opencv_modules})
if(OpenCV_FOUND)
  foreach(_m IN LISTS _opencv_modules)
    if(NOT TARGET opencv::${_m})
      add_library(opencv::${_m} INTERFACE IMPORTED)
      target_link_libraries(opencv::${_m} INTERFACE opencv_${_m})
      target_include_directories(opencv::${_m} INTERFACE ${OpenCV_INCLUDE_DIRS})
    endif()
  endforeach()
  set(OpenCVModules_FOUND TRUE)
  return()
endif()

find_path(OpenCVModules_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4)
set(_required OpenCVModules_INCLUDE_DIR)
foreach(_m IN LISTS _opencv_modules)
  find_library(OpenCVModules_${_m}_LIBRARY opencv_${_m})
  list(APPEND _required OpenCVModules_${_m}_LIBRARY)
endforeach()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(OpenCVModules REQUIRED_VARS ${_required})

if(OpenCVModules_FOUND)
  foreach(_m IN LISTS _opencv_modules)
    if(NOT TARGET opencv::${_m})
      add_library(opencv::${_m} UNKNOWN IMPORTED)
      set_target_properties(opencv::${_m} PROPERTIES
        IMPORTED_LOCATION "${OpenCVModules_${_m}_LIBRARY}"
        INTERFACE_INCLUDE_DIRECTORIES "${OpenCVModules_INCLUDE_DIR}")
    endif()
  endforeach()
  # Every module stands on core.
  foreach(_m imgproc imgcodecs videoio)
    set_property(TARGET opencv::${_m} APPEND PROPERTY INTERFACE_LINK_LIBRARIES opencv::core)
  endforeach()
endif()
