# Looks for what the Python module needs: a Python 3 interpreter with numpy, its development files
# and pybind11 (Debian: python3-dev, python3-numpy, pybind11-dev). Sets SUPERPIXELS_PYTHON_FOUND.
# Nothing is looked for when SUPERPIXELS_BUILD_PYTHON is switched off.

set(SUPERPIXELS_PYTHON_FOUND FALSE)
if(DEFINED SUPERPIXELS_BUILD_PYTHON AND NOT SUPERPIXELS_BUILD_PYTHON)
  return()
endif()

# The first python3 on PATH may be a private interpreter (pyenv, a virtual environment) without
# numpy, while Debian's numpy and pytest belong to /usr/bin/python3. Unless Python3_EXECUTABLE names
# one, the module is built for the first python3 on PATH that imports numpy, and pytest too when
# the tests are built (failing that, numpy alone).
function(superpixels_imports result candidate)
  execute_process(COMMAND "${candidate}" -c "import ${SUPERPIXELS_PYTHON_IMPORTS}"
                  RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
  if(NOT status EQUAL 0)
    set(${result} FALSE PARENT_SCOPE)
  endif()
endfunction()
if(NOT Python3_EXECUTABLE)
  if(SUPERPIXELS_BUILD_TESTS)
    set(SUPERPIXELS_PYTHON_IMPORTS "numpy, pytest")
    find_program(SUPERPIXELS_PYTHON_WITH_PYTEST NAMES python3 VALIDATOR superpixels_imports)
    set(Python3_EXECUTABLE "${SUPERPIXELS_PYTHON_WITH_PYTEST}")
  endif()
  if(NOT Python3_EXECUTABLE)
    set(SUPERPIXELS_PYTHON_IMPORTS "numpy")
    find_program(SUPERPIXELS_PYTHON_WITH_NUMPY NAMES python3 VALIDATOR superpixels_imports)
    set(Python3_EXECUTABLE "${SUPERPIXELS_PYTHON_WITH_NUMPY}")
  endif()
  if(NOT Python3_EXECUTABLE)
    unset(Python3_EXECUTABLE)
  endif()
endif()

# Quietly, unless the module is asked for: without it, nothing is missing.
if(SUPERPIXELS_BUILD_PYTHON)
  find_package(Python3 3.7 COMPONENTS Interpreter Development.Module)
else()
  find_package(Python3 3.7 QUIET COMPONENTS Interpreter Development.Module)
endif()
if(NOT Python3_FOUND)
  message(STATUS "Python module: not built (needs python3 with numpy, its development files and "
                 "pybind11: python3-dev python3-numpy pybind11-dev)")
  return()
endif()
# numpy is needed at run time only: a package build (setup.py, maybe in an isolated environment
# without numpy) leaves it to the package's dependencies.
option(SUPERPIXELS_PYTHON_PACKAGE_BUILD "Building the Python package alone, through setup.py" OFF)
if(NOT SUPERPIXELS_PYTHON_PACKAGE_BUILD)
  set(SUPERPIXELS_PYTHON_IMPORTS "numpy")
  set(numpy_found TRUE)
  superpixels_imports(numpy_found "${Python3_EXECUTABLE}")
  if(NOT numpy_found)
    message(STATUS "numpy not found for ${Python3_EXECUTABLE}")
    return()
  endif()
endif()
# pybind11 uses the interpreter found above.
find_package(pybind11 2.6 CONFIG)
if(pybind11_FOUND)
  set(SUPERPIXELS_PYTHON_FOUND TRUE)
endif()
