# The engine's HTTP requests go through libcurl.
find_package(CURL REQUIRED)
target_link_libraries(dk_engine PUBLIC CURL::libcurl)
