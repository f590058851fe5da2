# The browser build: the engine's own sources compiled by emcc into a page.
# scripts/web.sh configures it as
#   emcmake cmake -S . -B build-web -DTAVELO_WEB_DEPS=<sysroot> -DTAVELO_DEMO_DIR=<built demo>
# with the libraries scripts/web-deps.sh built for WebAssembly from Debian's
# sources, and the demo game the desktop build assembled (its tools run on
# the build machine). What differs from the desktop build:
#  - platform/web/ joins the platform layer: the page's window over SDL, its
#    loop, its storage, its face table (instead of fontconfig), the slice
#    watch's time check (instead of a thread), CP932 by table;
#  - web/web_main.cpp is the program; web/shell.html and web/shell.js the page.

set(TAVELO_WEB_DEPS "" CACHE PATH "the sysroot scripts/web-deps.sh printed")
set(TAVELO_DEMO_DIR "" CACHE PATH "the demo game as the desktop build assembled it (build/games/demo)")
if(NOT EXISTS "${TAVELO_WEB_DEPS}/lib/libSDL2.a")
  message(FATAL_ERROR "TAVELO_WEB_DEPS must name the sysroot of scripts/web-deps.sh")
endif()
if(NOT EXISTS "${TAVELO_DEMO_DIR}/tavelo.env")
  message(FATAL_ERROR "TAVELO_DEMO_DIR must name the built demo game (build/games/demo)")
endif()
find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
  set(CMAKE_CXX_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
endif()

add_compile_options(-Wall -Wextra -fno-exceptions -O2)
if(TAVELO_WERROR)
  add_compile_options(-Werror)
endif()
# WebAssembly has no indirect jump: the compiler turns computed goto back
# into one switch that every handler jumps through; the plain switch loop ran
# faster in the browser (docs/web.md, the interpreter in the page).
option(TAVELO_SWITCH_DISPATCH "Dispatch the interpreter through a plain switch" ON)
if(TAVELO_SWITCH_DISPATCH)
  set_property(SOURCE ${CMAKE_SOURCE_DIR}/script/interpreter.cpp APPEND PROPERTY COMPILE_DEFINITIONS TAVELO_THREADED_DISPATCH=0)
endif()

include(${CMAKE_CURRENT_LIST_DIR}/subsystems.cmake)
set(web_sources)
foreach(subsystem IN LISTS TAVELO_SUBSYSTEMS)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${subsystem}/*.cpp)
  list(APPEND web_sources ${sources})
endforeach()
# The desktop's main, fontconfig lookup, watching thread, speech-dispatcher
# voice and page text server have page counterparts under platform/web/.
list(FILTER web_sources EXCLUDE REGEX
     "/host/main\\.cpp$|/platform/font_lookup\\.cpp$|/platform/slice_watch\\.cpp$|/platform/speech_output\\.cpp$|/platform/page_server\\.cpp$")

include(${CMAKE_SOURCE_DIR}/cmake/cp932_table.cmake)
tavelo_cp932_table(cp932_table)

add_library(tavelo_core STATIC ${web_sources} ${cp932_table})
target_include_directories(tavelo_core PUBLIC ${CMAKE_SOURCE_DIR})
target_include_directories(tavelo_core SYSTEM PUBLIC ${TAVELO_WEB_DEPS}/include/SDL2 ${TAVELO_WEB_DEPS}/include/imgui
  ${TAVELO_WEB_DEPS}/include/freetype2 ${TAVELO_WEB_DEPS}/include)
set(web_libraries imgui SDL2 freetype png16 z vorbisfile vorbis ogg avformat avcodec swscale swresample avutil)
list(TRANSFORM web_libraries PREPEND ${TAVELO_WEB_DEPS}/lib/lib)
list(TRANSFORM web_libraries APPEND .a)
target_link_libraries(tavelo_core PUBLIC ${web_libraries})

# The page's data: the demo game and the face every game and the menus need
# (IPAGothic). The other IPA faces are separate files the page fetches only
# when it opens a game of the player's (web/fonts.txt).
set(ipa_gothic /usr/share/fonts/opentype/ipafont-gothic)
set(ipa_mincho /usr/share/fonts/opentype/ipafont-mincho)
file(GLOB_RECURSE demo_files CONFIGURE_DEPENDS ${TAVELO_DEMO_DIR}/*)

add_executable(tavelo ${CMAKE_SOURCE_DIR}/web/web_main.cpp)
set_target_properties(tavelo PROPERTIES SUFFIX ".html"
  LINK_DEPENDS "${CMAKE_SOURCE_DIR}/web/shell.html;${CMAKE_SOURCE_DIR}/web/shell.js;${CMAKE_SOURCE_DIR}/web/page_library.js;${demo_files}")
target_link_libraries(tavelo PRIVATE tavelo_core)
target_link_options(tavelo PRIVATE -O2
  -sENVIRONMENT=web -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=67108864 -sTOTAL_STACK=8388608
  -sINVOKE_RUN=0 -sEXIT_RUNTIME=0 -sFORCE_FILESYSTEM=1 -lidbfs.js -lGL -sMIN_WEBGL_VERSION=1 -sMINIFY_HTML=0
  "-sEXPORTED_RUNTIME_METHODS=['callMain','FS','ENV']"
  "SHELL:--shell-file ${CMAKE_SOURCE_DIR}/web/shell.html"
  "SHELL:--post-js ${CMAKE_SOURCE_DIR}/web/shell.js"
  "SHELL:--js-library ${CMAKE_SOURCE_DIR}/web/page_library.js"
  "SHELL:--preload-file ${TAVELO_DEMO_DIR}@/games/demo"
  "SHELL:--preload-file ${ipa_gothic}/ipag.ttf@/fonts/ipag.ttf")

# The faces fetched on demand, beside the page.
add_custom_command(TARGET tavelo POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/fonts
  COMMAND ${CMAKE_COMMAND} -E copy ${ipa_gothic}/ipagp.ttf ${ipa_mincho}/ipam.ttf ${ipa_mincho}/ipamp.ttf
    ${CMAKE_BINARY_DIR}/fonts/
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/tavelo.html ${CMAKE_BINARY_DIR}/index.html)
