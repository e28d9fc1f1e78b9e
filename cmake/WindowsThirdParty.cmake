# The Windows build's libraries: built from Debian's source packages (scripts/third-party-sources
# --windows) with the mingw-w64 toolchain, static, once per target, kept in the cache. zlib is
# mingw-w64's own package (libz-mingw-w64-dev).
find_library(QUORVANE_MINGW_ZLIB NAMES libz.a REQUIRED)
find_path(QUORVANE_MINGW_ZLIB_INCLUDE zlib.h REQUIRED)
add_library(PkgConfig::ZLIB STATIC IMPORTED GLOBAL)
set_target_properties(PkgConfig::ZLIB PROPERTIES IMPORTED_LOCATION ${QUORVANE_MINGW_ZLIB}
  INTERFACE_INCLUDE_DIRECTORIES ${QUORVANE_MINGW_ZLIB_INCLUDE})

# Deflate only, as on Linux; zlib is named before libzip looks for it.
quorvane_third_party(libzip libzip-1.7.3 -DCMAKE_INSTALL_LIBDIR=lib -DZLIB_INCLUDE_DIR=${QUORVANE_MINGW_ZLIB_INCLUDE}
  -DZLIB_LIBRARY=${QUORVANE_MINGW_ZLIB} -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_COMMONCRYPTO=OFF
  -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF -DENABLE_WINDOWS_CRYPTO=OFF -DBUILD_TOOLS=OFF
  -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF)
# libzip's random numbers come from the CryptoAPI (advapi32).
add_bundled(PkgConfig::LIBZIP ${libzip_PREFIX} libzip.a PkgConfig::ZLIB advapi32)
set_target_properties(PkgConfig::LIBZIP PROPERTIES INTERFACE_COMPILE_DEFINITIONS ZIP_STATIC)

quorvane_third_party(zint zint-2.11.1 -DCMAKE_INSTALL_LIBDIR=lib -DZINT_STATIC=ON -DZINT_USE_PNG=OFF -DZINT_USE_QT=OFF)
add_bundled(Zint::Zint ${zint_PREFIX} libzint-static.a)

quorvane_third_party(pugixml pugixml-1.13 -DCMAKE_INSTALL_LIBDIR=lib -DPUGIXML_BUILD_TESTS=OFF)
add_bundled(pugixml::pugixml ${pugixml_PREFIX} libpugixml.a)

# expat reads large label documents a label at a time. Debian's security patches test
# "XML_DTD == 1", as its own (autotools) build defines it; expat's CMake build would define it empty.
quorvane_third_party(expat expat-2.5.0/expat -DCMAKE_INSTALL_LIBDIR=lib -DEXPAT_DTD=OFF -DCMAKE_C_FLAGS=-DXML_DTD=1
  -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF
  -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_PKGCONFIG=OFF)
add_bundled(EXPAT::EXPAT ${expat_PREFIX} libexpat.a)
set_target_properties(EXPAT::EXPAT PROPERTIES INTERFACE_COMPILE_DEFINITIONS XML_STATIC)

# The extensions library comes before the core library it uses.
quorvane_third_party(cmark-gfm cmark-gfm-0.29.0.gfm.6 -DCMAKE_INSTALL_LIBDIR=lib -DCMARK_TESTS=OFF
  -DCMARK_SHARED=OFF -DCMARK_STATIC=ON)
add_bundled(cmark_gfm_core ${cmark-gfm_PREFIX} libcmark-gfm.a)
add_bundled(PkgConfig::CMARK ${cmark-gfm_PREFIX} libcmark-gfm-extensions.a cmark_gfm_core)
set_target_properties(PkgConfig::CMARK PROPERTIES
  INTERFACE_COMPILE_DEFINITIONS "CMARK_GFM_STATIC_DEFINE;CMARK_GFM_EXTENSIONS_STATIC_DEFINE")

# The unit tests' framework, cross-built like everything else.
quorvane_third_party(googletest googletest-1.12.1 -DCMAKE_INSTALL_LIBDIR=lib -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON)
add_bundled(GTest::gtest ${googletest_PREFIX} libgtest.a Threads::Threads)
add_bundled(GTest::gtest_main ${googletest_PREFIX} libgtest_main.a GTest::gtest)
add_bundled(GTest::gmock ${googletest_PREFIX} libgmock.a GTest::gtest)

# The picture decoders, the same versions as the Linux build's system libraries, so a picture
# gives the same raster on both systems. libjpeg-turbo keeps its SIMD code (nasm) as there; its
# library folder is left to its default (lib), as its own install rules take a relative one as
# relative to the build folder.
quorvane_third_party(libpng1.6 libpng1.6-1.6.39 -DCMAKE_INSTALL_LIBDIR=lib -DZLIB_INCLUDE_DIR=${QUORVANE_MINGW_ZLIB_INCLUDE}
  -DZLIB_LIBRARY=${QUORVANE_MINGW_ZLIB} -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF)
add_bundled(PkgConfig::PNG ${libpng1.6_PREFIX} libpng16.a PkgConfig::ZLIB)
quorvane_third_party(libjpeg-turbo libjpeg-turbo-2.1.5 -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF -DREQUIRE_SIMD=ON)
add_bundled(PkgConfig::JPEG ${libjpeg-turbo_PREFIX} libjpeg.a)
quorvane_third_party(giflib giflib-5.2.1)
add_bundled(Gif::Gif ${giflib_PREFIX} libgif.a)
