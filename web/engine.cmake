# Writes engine.js: the scripts SCRIPTS (the program's module first) inside
# one function, TafelixEngine, which returns Job. Called by web/CMakeLists.txt:
#   cmake -DOUT=<engine.js> -DSCRIPTS=<script;...> -P engine.cmake
set(text "// Made by the build (web/engine.cmake): the scripts that convert a file, in\n")
string(APPEND text "// one function. The page starts a worker from its text, or calls it itself.\n")
string(APPEND text "function TafelixEngine() {\n")
foreach(script IN LISTS SCRIPTS)
  get_filename_component(name ${script} NAME)
  file(READ ${script} body)
  string(APPEND text "// ---- ${name}\n${body}\n")
endforeach()
string(APPEND text "return Job;\n}\n")
file(WRITE ${OUT} "${text}")
