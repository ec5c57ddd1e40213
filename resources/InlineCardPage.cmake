# Builds the fallback game card page: the card page the backend serves, with
# its stylesheet and script written into it, so that it needs no other file
# and no network and looks and behaves like the online card.
#   cmake -DCARD_DIR=<resources/gamecard> -DOUTPUT=<fallbackPage.htm> -P InlineCardPage.cmake
file(READ ${CARD_DIR}/index.html page)
file(READ ${CARD_DIR}/card.css style)
file(READ ${CARD_DIR}/card-format.js format_script)
file(READ ${CARD_DIR}/card.js script)

function(inline placeholder replacement)
  string(FIND "${page}" "${placeholder}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "${CARD_DIR}/index.html no longer holds '${placeholder}'; the fallback page would miss it")
  endif()
  string(REPLACE "${placeholder}" "${replacement}" page "${page}")
  set(page "${page}" PARENT_SCOPE)
endfunction()

inline("<link rel=\"stylesheet\" href=\"card.css\">" "<style>\n${style}</style>")
inline("<script src=\"card-format.js\"></script>" "<script>\n${format_script}</script>")
inline("<script src=\"card.js\"></script>" "<script>\n${script}</script>")
file(WRITE ${OUTPUT} "${page}")
