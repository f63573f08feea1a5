# Run-time files of the player, laid out next to the executable in ${VANTEL_BIN_DIR}:
#   data/config/config.ini, data/skin/custom.ini, data/skin/qss/picture.qss   copied as they are
#   data/skin/picture/singal_view.png   the empty-view picture, drawn from images/singal_view.svg
#   data/language/<Language>.qm         from translations/VantelPlayer*_<Language>.ts
# and the pictures compiled into the program (:/VantelPlayer/Resources/*.png: the window icon, the
# buttons of the style sheet), as the object library VantelPlayerResources that the program links.
# Everything is built by the target vantel_player_runtime.
set(PLAYER_RES_DIR ${PROJECT_SOURCE_DIR}/resources/VantelPlayer)
set(PLAYER_RES_GEN ${CMAKE_BINARY_DIR}/vantelplayerres)

# --- pictures ------------------------------------------------------------------------------------
# <svg base name> <size>: drawn into the compiled-in resources as Resources/<name>.png
set(player_pictures logo:64 btn_close:20 btn_open:20 btn_cut:20
    list_singel:24 list_singelloop:24 list_list:24 list_listloop:24
    stick_nerver:20 stick_always:20 stick_play:20
    split_one:24 split_four:24 split_nine:24 split_sixteen:24)
set(player_picture_outputs)
set(player_qrc_entries)
foreach(entry IN LISTS player_pictures)
  string(REPLACE ":" ";" entry "${entry}")
  list(GET entry 0 name)
  list(GET entry 1 size)
  set(out ${PLAYER_RES_GEN}/Resources/${name}.png)
  vantel_svg_png(${out} ${PLAYER_RES_DIR}/images/${name}.svg ${size})
  list(APPEND player_picture_outputs ${out})
  list(APPEND player_qrc_entries Resources/${name}.png)
endforeach()
vantel_write_qrc(${PLAYER_RES_GEN}/VantelPlayer.qrc /VantelPlayer ${player_qrc_entries})
add_custom_command(OUTPUT ${PLAYER_RES_GEN}/qrc_VantelPlayer.cpp
  COMMAND Qt5::rcc -name VantelPlayer ${PLAYER_RES_GEN}/VantelPlayer.qrc -o ${PLAYER_RES_GEN}/qrc_VantelPlayer.cpp
  DEPENDS ${player_picture_outputs} ${PLAYER_RES_GEN}/VantelPlayer.qrc
  WORKING_DIRECTORY ${PLAYER_RES_GEN} VERBATIM)
# An object library: the resources register themselves from a static initialiser, which a static
# library would leave out of the program.
add_library(VantelPlayerResources OBJECT ${PLAYER_RES_GEN}/qrc_VantelPlayer.cpp)
target_link_libraries(VantelPlayerResources PRIVATE vantel_defaults)
set_target_properties(VantelPlayerResources PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
target_link_libraries(VantelPlayerResources PUBLIC Qt5::Core)

# --- languages ----------------------------------------------------------------------------------
file(GLOB player_ts_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/translations/VantelPlayer*_*.ts)
set(player_qm_outputs)
vantel_compile_languages(player_qm_outputs ${VANTEL_BIN_DIR}/data/language ${player_ts_files})

# --- data files ---------------------------------------------------------------------------------
set(player_data_outputs)
foreach(file data/config/config.ini data/skin/custom.ini data/skin/qss/picture.qss)
  add_custom_command(OUTPUT ${VANTEL_BIN_DIR}/${file}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${PLAYER_RES_DIR}/${file} ${VANTEL_BIN_DIR}/${file}
    DEPENDS ${PLAYER_RES_DIR}/${file} VERBATIM)
  list(APPEND player_data_outputs ${VANTEL_BIN_DIR}/${file})
endforeach()
set(empty_view ${VANTEL_BIN_DIR}/data/skin/picture/singal_view.png)
vantel_svg_png(${empty_view} ${PLAYER_RES_DIR}/images/singal_view.svg 320)

add_custom_target(vantel_player_runtime ALL
  DEPENDS ${player_qm_outputs} ${player_data_outputs} ${empty_view})
