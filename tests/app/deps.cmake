# The built-in sound test reuses the sound tests' support (libvorbisenc and
# the source folder's location).
include(${CMAKE_CURRENT_SOURCE_DIR}/sound/deps.cmake)
