# Lumivo as a CPack generator: cpack installs the project into a staging folder and lumivo-pack
# turns that folder into one setup.exe for Windows. In a project's CMakeLists.txt:
#
#     list(APPEND CMAKE_MODULE_PATH /usr/share/lumivo/cmake)
#     set(CPACK_GENERATOR External)
#     include(LumivoCPack)
#     include(CPack)
#
# cpack then writes <CPACK_PACKAGE_FILE_NAME>.exe. When the install tree holds no install.script,
# one is written from CPACK_PACKAGE_NAME (name), CPACK_PACKAGE_VERSION (version),
# CPACK_PACKAGE_VENDOR (publisher), CPACK_RESOURCE_FILE_LICENSE (the licence shown) and the first
# of CPACK_PACKAGE_EXECUTABLES (the main program), listing every installed file to copy.
# Further settings, all optional:
#   CPACK_LUMIVO_PACK                   the lumivo-pack to run (default: the one installed with
#                                       this module, else lumivo-pack on the PATH)
#   CPACK_LUMIVO_EXECUTABLES_DIRECTORY  the folder of CPACK_PACKAGE_EXECUTABLES in the install
#                                       tree ("bin" by default, as for NSIS; "." for the top)
#   CPACK_LUMIVO_EXE_FILE               the main program, instead of CPACK_PACKAGE_EXECUTABLES
#   CPACK_LUMIVO_ICON                   an .ico for setup.exe
#   CPACK_LUMIVO_OPTIONS                further options of lumivo-pack build (a list)
set(CPACK_EXTERNAL_ENABLE_STAGING ON)
set(CPACK_EXTERNAL_PACKAGE_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/LumivoCPackScript.cmake")
if(NOT CPACK_LUMIVO_PACK)
    find_program(LUMIVO_PACK_PROGRAM lumivo-pack HINTS "${CMAKE_CURRENT_LIST_DIR}/../../../bin"
                 NO_CMAKE_FIND_ROOT_PATH)
    set(CPACK_LUMIVO_PACK "${LUMIVO_PACK_PROGRAM}")
endif()
