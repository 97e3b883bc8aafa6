# The Python module `superpixels`, built into ${PROJECT_BINARY_DIR}/python (put that folder on
# PYTHONPATH) and installed into the interpreter's site folder under the install prefix.

# The module's own code is thin glue over the engine: link-time optimisation would buy nothing
# but a slower link.
set(CMAKE_INTERPROCEDURAL_OPTIMIZATION OFF)
pybind11_add_module(superpixels_python MODULE
  src/python/conversions.cpp
  src/python/module.cpp
)
set_target_properties(superpixels_python PROPERTIES
  OUTPUT_NAME superpixels
  LIBRARY_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/python")
# Only its own folder and the public headers: the module reaches the engine through the public API
# alone.
target_include_directories(superpixels_python PRIVATE ${PROJECT_SOURCE_DIR}/src/python)
target_link_libraries(superpixels_python PRIVATE superpixels_engine opencv_imgproc)
target_compile_options(superpixels_python PRIVATE -Wall -Wextra ${SUPERPIXELS_EXACT_FP_FLAGS})
# The engine is linked in statically; its symbols stay inside the module.
target_link_options(superpixels_python PRIVATE -Wl,--exclude-libs,ALL)

# Where the interpreter looks for modules, relative to the install prefix: Debian's python3 reads
# /usr/local/lib/python3.X/dist-packages, the default for the default prefix. Under any other
# prefix the conventional lib/python3.X/site-packages; put it on PYTHONPATH.
execute_process(COMMAND "${Python3_EXECUTABLE}" -c
                        "import sysconfig; print(sysconfig.get_path('platlib'))"
                OUTPUT_VARIABLE platlib OUTPUT_STRIP_TRAILING_WHITESPACE)
cmake_path(IS_PREFIX CMAKE_INSTALL_PREFIX "${platlib}" NORMALIZE platlib_under_prefix)
if(platlib_under_prefix)
  cmake_path(RELATIVE_PATH platlib BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}"
             OUTPUT_VARIABLE python_install_dir)
else()
  set(python_install_dir
      "lib/python${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}/site-packages")
endif()
set(SUPERPIXELS_PYTHON_INSTALL_DIR "${python_install_dir}" CACHE PATH
    "Folder, relative to the install prefix, that receives the Python module")
install(TARGETS superpixels_python LIBRARY DESTINATION "${SUPERPIXELS_PYTHON_INSTALL_DIR}")
