# The sound tests encode their Ogg Vorbis samples with libvorbisenc; the
# engine itself only loads libvorbisfile at run time.
pkg_check_modules(TKW4_VORBISENC REQUIRED IMPORTED_TARGET vorbisenc vorbis ogg)
target_link_libraries(tkw4-test-${sub} PRIVATE PkgConfig::TKW4_VORBISENC)
