# Writes the service worker (OUT) from its template (IN): the files it caches (FILES, a list) and
# its cache's name, a hash of those files: any change to the page, the code or the pack makes a
# new cache.
set(digests "")
set(names "")
foreach(f IN LISTS FILES)
  file(SHA256 "${f}" d)
  get_filename_component(name "${f}" NAME)
  string(APPEND digests "${name} ${d}\n")
  list(APPEND names "'${name}'")
endforeach()
list(JOIN names ", " PIXBRK_FILES)
string(SHA256 all "${digests}")
string(SUBSTRING "${all}" 0 16 PIXBRK_BUILD_ID)
configure_file("${IN}" "${OUT}" @ONLY)
