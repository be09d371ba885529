# SPDX-License-Identifier: GPL-3.0-or-later
# Writes a script index listing the bundled scripts. Run with cmake -P:
#   -DSOURCE=<folders>        every folder below these (a list) with .htm pages,
#                             except home (the built-in page), is a bundled script folder
#   -DINDEX=<path of the index page>
#   -DLINKS=<folder>          where the index links to the script folders,
#                             relative to it: "scripts/" beside the executable,
#                             "" in the installed share folder
#   -DCOPY=ON                 copy the folders there (the build tree)
get_filename_component(dest "${INDEX}" DIRECTORY)
set(folders "")
foreach(source IN LISTS SOURCE)
  file(GLOB found LIST_DIRECTORIES true "${source}/*")
  list(APPEND folders ${found})
endforeach()
set(items "")
foreach(folder IN LISTS folders)
  get_filename_component(name "${folder}" NAME)
  file(GLOB pages "${folder}/*.htm")
  if(NOT IS_DIRECTORY "${folder}" OR name STREQUAL "home" OR NOT pages)
    continue()
  endif()
  if(COPY)
    file(REMOVE_RECURSE "${dest}/${LINKS}${name}")
    file(COPY "${folder}" DESTINATION "${dest}/${LINKS}")
  endif()
  foreach(page IN LISTS pages)
    get_filename_component(file "${page}" NAME)
    file(READ "${page}" text)
    string(REGEX MATCH "<title>([^<]*)</title>" found "${text}")
    set(title "${CMAKE_MATCH_1}")
    if(NOT found)
      set(title "${file}")
    endif()
    string(APPEND items "<li><a href=\"${LINKS}${name}/${file}\">${title}</a></li>\n")
  endforeach()
endforeach()
file(WRITE "${INDEX}" "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">
<html>
<head>
<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">
<title>Parlotype scripts</title>
<style type=\"text/css\">
body { background: #FFFBF0; color: black; font-size: 14px; }
h1 { font-family: verdana, sans-serif; font-size: 20px; color: #008000; }
a { color: #000080; text-decoration: none; }
a:hover, a:active { text-decoration: underline; }
</style>
</head>
<body>
<h1>Parlotype scripts</h1>
<p>The scripts that come with Parlotype. Open one and click its links to listen.</p>
<ul>
${items}</ul>
</body>
</html>
")
