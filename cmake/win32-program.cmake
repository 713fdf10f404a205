# The Windows program TarnwickISO.exe: a dialog application with Japanese
# resources. The window code is a static library so that the GUI test program
# links the same code; WinMain stays out of it.

find_program(TW_PYTHON NAMES python3 python REQUIRED)
find_program(TW_ICONV iconv REQUIRED)  # used by convert_help.sh

set(TW_RES_SRC ${CMAKE_CURRENT_SOURCE_DIR}/resources)
# The About box states the version in its own text; it must be the project's.
file(STRINGS ${TW_RES_SRC}/tarnwickiso.rc TW_ABOUT_VERSION REGEX " Version ${PROJECT_VERSION} ")
if(NOT TW_ABOUT_VERSION)
  message(FATAL_ERROR "resources/tarnwickiso.rc: the About text does not say Version ${PROJECT_VERSION}")
endif()
set(TW_RES_GEN ${CMAKE_BINARY_DIR}/resources)
file(MAKE_DIRECTORY ${TW_RES_GEN})

# Icon and pictures, drawn by a script.
add_custom_command(
  OUTPUT ${TW_RES_GEN}/icon.ico ${TW_RES_GEN}/picture_help.bmp ${TW_RES_GEN}/picture_about.bmp
  COMMAND ${TW_PYTHON} ${TW_RES_SRC}/make_pictures.py ${TW_RES_GEN}
  DEPENDS ${TW_RES_SRC}/make_pictures.py
  COMMENT "Drawing the icon and the pictures")

# The help text: UTF-8 source with LF line ends, stored as code page 932
# with CR LF.
add_custom_command(
  OUTPUT ${TW_RES_GEN}/help.cp932.txt
  COMMAND sh ${TW_RES_SRC}/convert_help.sh ${TW_RES_SRC}/help.txt ${TW_RES_GEN}/help.cp932.txt
  DEPENDS ${TW_RES_SRC}/help.txt ${TW_RES_SRC}/convert_help.sh
  COMMENT "Converting the help text to code page 932")

# windres reads the UTF-8 script and stores every text as UTF-16.
add_custom_command(
  OUTPUT ${TW_RES_GEN}/tarnwickiso_res.o
  COMMAND ${CMAKE_RC_COMPILER} -c 65001 -I ${TW_RES_SRC} -I ${TW_RES_GEN}
          -I ${CMAKE_CURRENT_SOURCE_DIR} -O coff
          -i ${TW_RES_SRC}/tarnwickiso.rc -o ${TW_RES_GEN}/tarnwickiso_res.o
  DEPENDS ${TW_RES_SRC}/tarnwickiso.rc ${TW_RES_SRC}/resource_ids.h
          ${TW_RES_GEN}/icon.ico ${TW_RES_GEN}/picture_help.bmp ${TW_RES_GEN}/picture_about.bmp
          ${TW_RES_GEN}/help.cp932.txt
  COMMENT "Compiling the resources")
add_custom_target(tw_resources DEPENDS ${TW_RES_GEN}/tarnwickiso_res.o)
set(TW_RESOURCE_OBJECT ${TW_RES_GEN}/tarnwickiso_res.o)
set_source_files_properties(${TW_RESOURCE_OBJECT} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)

# The window folders, each a library over the layers below it.
tw_layer(tw_ui_win32 SOURCES ui/win32/*.cpp LINKS tw_mastering user32)
tw_layer(tw_settings_win32 SOURCES settings/win32/*.cpp LINKS tw_ui_win32 tw_settings comdlg32 shell32 user32)
tw_layer(tw_drivetools_win32 SOURCES drivetools/win32/*.cpp LINKS tw_ui_win32 tw_drivetools tw_settings comdlg32
         shell32 user32)
tw_sources(TW_WIN32_SHELL_SOURCES shell/win32/*.cpp)
list(FILTER TW_WIN32_SHELL_SOURCES EXCLUDE REGEX "/shell/win32/winmain\\.cpp$")
add_library(tw_shell_win32 STATIC ${TW_WIN32_SHELL_SOURCES})
target_include_directories(tw_shell_win32 PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_options(tw_shell_win32 PRIVATE ${TW_WARNINGS})
target_link_libraries(tw_shell_win32 PUBLIC tw_settings_win32 tw_drivetools_win32 tw_ui_win32 tw_shell comdlg32
                                            shell32 user32 gdi32)

add_executable(TarnwickISO WIN32 ${CMAKE_CURRENT_SOURCE_DIR}/shell/win32/winmain.cpp
               ${TW_RESOURCE_OBJECT})
add_dependencies(TarnwickISO tw_resources)
target_compile_options(TarnwickISO PRIVATE ${TW_WARNINGS})
target_link_libraries(TarnwickISO PRIVATE tw_shell_win32)
