# The video window's player: Ruffle from the npm package (scripts/install-deps runs npm ci) and
# its page, copied to build/bin/player where RufflePlayer loads them from. A build without
# network points ZUMALO_RUFFLE_DIR at a Ruffle web release unpacked elsewhere; where each of
# its prebuilt files comes from is in debian/README.source. Without them the client's videos
# never play, so only ZUMALO_PLAYER=OFF, given on purpose, builds without them.
option(ZUMALO_PLAYER "ship the movie player's files (Ruffle); OFF builds a client whose videos never play" ON)
set(ZUMALO_RUFFLE_DIR ${CMAKE_SOURCE_DIR}/node_modules/@ruffle-rs/ruffle CACHE PATH
  "folder holding ruffle.js, its .wasm files and licences")
set(ZUMALO_PLAYER_DIR ${ZUMALO_BIN_DIR}/player)
if(ZUMALO_PLAYER)
  if(NOT EXISTS ${ZUMALO_RUFFLE_DIR}/ruffle.js)
    message(FATAL_ERROR "The movie player's files are missing: no ruffle.js in ${ZUMALO_RUFFLE_DIR}.\n"
      "Run scripts/install-deps (npm ci fetches @ruffle-rs/ruffle), or point ZUMALO_RUFFLE_DIR at "
      "an unpacked Ruffle web release, or configure with -DZUMALO_PLAYER=OFF for a client whose "
      "videos never play.")
  endif()
  file(GLOB ZUMALO_PLAYER_SOURCES CONFIGURE_DEPENDS
    ${ZUMALO_RUFFLE_DIR}/*.js ${ZUMALO_RUFFLE_DIR}/*.wasm ${ZUMALO_RUFFLE_DIR}/LICENSE_*
    ${CMAKE_SOURCE_DIR}/assets/player/*)
else()
  message(STATUS "ZUMALO_PLAYER=OFF: the client is built without its movie player's files")
  set(ZUMALO_PLAYER_SOURCES)
endif()
set(ZUMALO_PLAYER_OUTPUTS)
foreach(source ${ZUMALO_PLAYER_SOURCES})
  get_filename_component(name ${source} NAME)
  add_custom_command(OUTPUT ${ZUMALO_PLAYER_DIR}/${name}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ZUMALO_PLAYER_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${source} ${ZUMALO_PLAYER_DIR}/${name}
    DEPENDS ${source} VERBATIM)
  list(APPEND ZUMALO_PLAYER_OUTPUTS ${ZUMALO_PLAYER_DIR}/${name})
endforeach()
add_custom_target(zumalo_player_files ALL DEPENDS ${ZUMALO_PLAYER_OUTPUTS})

# Installed, the player sits in the client's private folder with Ruffle's licence files.
if(ZUMALO_PLAYER)
  install(DIRECTORY ${ZUMALO_PLAYER_DIR}/ DESTINATION ${ZUMALO_INSTALL_PRIVATE_DIR}/player
    COMPONENT client)
endif()
