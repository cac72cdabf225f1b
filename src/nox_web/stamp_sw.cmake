# Writes the service worker (OUT) from its template (IN), naming its cache after a hash of the
# files it caches (FILES, a list): any change to the page, the code or the pack makes a new cache.
set(digests "")
foreach(f IN LISTS FILES)
  file(SHA256 "${f}" d)
  get_filename_component(name "${f}" NAME)
  string(APPEND digests "${name} ${d}\n")
endforeach()
string(SHA256 all "${digests}")
string(SUBSTRING "${all}" 0 16 PIXBRK_BUILD_ID)
configure_file("${IN}" "${OUT}" @ONLY)
