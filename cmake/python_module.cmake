# The Python package `superpixels`: the Python layer (src/python/superpixels: signatures,
# documentation, argument checks, stubs) over the extension superpixels._core. Built into
# ${SUPERPIXELS_PYTHON_PACKAGE_DIR} (default: the build's python/superpixels; put the build's
# python folder on PYTHONPATH) and installed into the interpreter's site folder under the install
# prefix. `pip install .` builds the same target through setup.py.

set(SUPERPIXELS_PYTHON_PACKAGE_DIR "${PROJECT_BINARY_DIR}/python/superpixels" CACHE PATH
    "Folder that receives the Python package superpixels (the extension and its Python files)")

# The module's own code is thin glue over the engine: link-time optimisation would buy nothing
# but a slower link.
set(CMAKE_INTERPROCEDURAL_OPTIMIZATION OFF)
pybind11_add_module(superpixels_python MODULE
  src/python/conversions.cpp
  src/python/module.cpp
)
set_target_properties(superpixels_python PROPERTIES
  OUTPUT_NAME _core
  LIBRARY_OUTPUT_DIRECTORY "${SUPERPIXELS_PYTHON_PACKAGE_DIR}")
# Only its own folder, the public headers and the evaluation library's interface
# (include/superpixels_eval): the module reaches the engine through the public API alone.
target_include_directories(superpixels_python PRIVATE ${PROJECT_SOURCE_DIR}/src/python)
target_link_libraries(superpixels_python PRIVATE superpixels_engine superpixels_eval
                      opencv_imgproc)
target_compile_options(superpixels_python PRIVATE -Wall -Wextra ${SUPERPIXELS_EXACT_FP_FLAGS})
# The engine is linked in statically; its symbols stay inside the module.
target_link_options(superpixels_python PRIVATE -Wl,--exclude-libs,ALL)

# The Python files beside the extension, so that the build's package can be imported as it is.
# Not __main__.py: it runs the tools a pip-built package ships in its _bin folder;
# here the tools are in the build folder and the install prefix's bin.
set(SUPERPIXELS_PYTHON_FILES __init__.py __init__.pyi _core.pyi py.typed)
cmake_path(COMPARE "${SUPERPIXELS_PYTHON_PACKAGE_DIR}" EQUAL
           "${PROJECT_SOURCE_DIR}/src/python/superpixels" building_in_place)
if(NOT building_in_place)
  foreach(file ${SUPERPIXELS_PYTHON_FILES})
    configure_file("${PROJECT_SOURCE_DIR}/src/python/superpixels/${file}"
                   "${SUPERPIXELS_PYTHON_PACKAGE_DIR}/${file}" COPYONLY)
  endforeach()
endif()

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
    "Folder, relative to the install prefix, that receives the Python package")
install(TARGETS superpixels_python LIBRARY DESTINATION "${SUPERPIXELS_PYTHON_INSTALL_DIR}/superpixels")
list(TRANSFORM SUPERPIXELS_PYTHON_FILES PREPEND "${PROJECT_SOURCE_DIR}/src/python/superpixels/")
install(FILES ${SUPERPIXELS_PYTHON_FILES}
        DESTINATION "${SUPERPIXELS_PYTHON_INSTALL_DIR}/superpixels")
