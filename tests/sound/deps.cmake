# The sound tests encode their Ogg Vorbis samples with libvorbisenc; the
# engine itself only loads libvorbisfile at run time.
pkg_check_modules(TKW4_VORBISENC REQUIRED IMPORTED_TARGET vorbisenc vorbis ogg)
target_link_libraries(tkw4-test-${sub} PRIVATE PkgConfig::TKW4_VORBISENC)
# Where the built-in effects lie when TKW4_SOURCE_DIR is not set (a test
# program run by hand).
target_compile_definitions(tkw4-test-${sub} PRIVATE TKW4_SOURCE_ROOT="${PROJECT_SOURCE_DIR}")
