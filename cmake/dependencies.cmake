# The libraries vek builds against. A missing one stops the configuration with the name
# of the Debian package that provides it.
#
# With VEK_STATIC_DEPS the three crypto libraries are linked into the binaries instead
# of loaded from the system at run time, as a self-contained wheel needs
# (scripts/wheel.sh): OpenSSL's libcrypto.a and libsodium.a from their -dev packages,
# and libsecp256k1 compiled here from the source in VEK_SECP256K1_SOURCE_DIR, because
# Debian's libsecp256k1.a is not position-independent (it reads libc's stderr directly)
# and cannot go into a shared object. The Python modules hide every symbol but their
# PyInit_ function, so the linked copies never meet another copy in the same process.

option(VEK_STATIC_DEPS "Link libcrypto, libsodium and libsecp256k1 statically (self-contained wheels)" OFF)
set(VEK_SECP256K1_SOURCE_DIR "" CACHE PATH
    "libsecp256k1 source tree compiled in when VEK_STATIC_DEPS is on (Debian: apt-get source libsecp256k1)")

function(vek_require_package found what package)
  if(NOT ${found})
    message(FATAL_ERROR "${what} was not found. On Debian or Ubuntu install it with:\n"
                        "  sudo apt-get install ${package}\n"
                        "(bash scripts/setup.sh installs everything the build needs.)")
  endif()
endfunction()

find_package(PkgConfig QUIET)
vek_require_package(PKG_CONFIG_FOUND "pkg-config" pkg-config)

pkg_check_modules(SODIUM QUIET IMPORTED_TARGET libsodium)
vek_require_package(SODIUM_FOUND "libsodium (its headers and libsodium.pc)" libsodium-dev)

if(VEK_STATIC_DEPS)
  set(OPENSSL_USE_STATIC_LIBS TRUE)
endif()
find_package(OpenSSL 3 QUIET COMPONENTS Crypto)
set(_vek_openssl_found FALSE)
if(OPENSSL_FOUND AND OpenSSL_Crypto_FOUND)
  set(_vek_openssl_found TRUE)
endif()
vek_require_package(_vek_openssl_found "OpenSSL 3's libcrypto (its headers and library)" libssl-dev)

find_package(nlohmann_json 3 QUIET)
vek_require_package(nlohmann_json_FOUND "nlohmann-json 3" nlohmann-json3-dev)

if(VEK_BUILD_TESTS)
  find_package(GTest QUIET)
  vek_require_package(GTest_FOUND "GoogleTest (VEK_BUILD_TESTS=OFF builds without the unit tests)" libgtest-dev)
endif()
if(VEK_BUILD_BENCH)
  find_package(benchmark QUIET)
  vek_require_package(benchmark_FOUND "Google Benchmark (VEK_BUILD_BENCH=OFF builds without the benchmark)"
                      libbenchmark-dev)
endif()

if(NOT VEK_STATIC_DEPS)
  pkg_check_modules(SECP256K1 QUIET IMPORTED_TARGET libsecp256k1)
  vek_require_package(SECP256K1_FOUND "libsecp256k1 (its headers and libsecp256k1.pc)" libsecp256k1-dev)
  return()
endif()

# ---- VEK_STATIC_DEPS -------------------------------------------------------------------
find_package(Threads REQUIRED)

# OpenSSL::Crypto now names libcrypto.a (FindOpenSSL adds libdl and the threads library).
set(_vek_crypto_archive FALSE)
if(OPENSSL_CRYPTO_LIBRARY MATCHES "\\.a$")
  set(_vek_crypto_archive TRUE)
endif()
vek_require_package(_vek_crypto_archive "OpenSSL's static libcrypto.a" libssl-dev)

# The pkg-config target keeps libsodium's include directories; its link goes to the archive.
find_library(VEK_SODIUM_ARCHIVE NAMES libsodium.a HINTS ${SODIUM_LIBRARY_DIRS} NO_CACHE)
vek_require_package(VEK_SODIUM_ARCHIVE "libsodium's static libsodium.a" libsodium-dev)
set_target_properties(PkgConfig::SODIUM PROPERTIES INTERFACE_LINK_LIBRARIES "${VEK_SODIUM_ARCHIVE};Threads::Threads")

set(_vek_secp ${VEK_SECP256K1_SOURCE_DIR})
if(NOT _vek_secp OR NOT EXISTS "${_vek_secp}/src/secp256k1.c" OR NOT EXISTS "${_vek_secp}/include/secp256k1.h")
  message(FATAL_ERROR "VEK_STATIC_DEPS needs the libsecp256k1 source tree in VEK_SECP256K1_SOURCE_DIR "
                      "(now \"${VEK_SECP256K1_SOURCE_DIR}\"), for example from `apt-get source libsecp256k1`; "
                      "bash scripts/wheel.sh fetches it.")
endif()
enable_language(C)
add_library(vek_secp256k1 STATIC
  ${_vek_secp}/src/secp256k1.c ${_vek_secp}/src/precomputed_ecmult.c ${_vek_secp}/src/precomputed_ecmult_gen.c)
# The configuration of Debian's build (the modules it enables, the default table sizes);
# the x86-64 assembly is what its configure script selects on that architecture.
target_compile_definitions(vek_secp256k1 PRIVATE
  ENABLE_MODULE_RECOVERY=1 ENABLE_MODULE_ECDH=1 ENABLE_MODULE_EXTRAKEYS=1 ENABLE_MODULE_SCHNORRSIG=1
  ECMULT_WINDOW_SIZE=15 ECMULT_GEN_PREC_BITS=4)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$" AND CMAKE_C_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_definitions(vek_secp256k1 PRIVATE USE_ASM_X86_64=1)
endif()
target_include_directories(vek_secp256k1 SYSTEM PUBLIC ${_vek_secp}/include)
set_target_properties(vek_secp256k1 PROPERTIES C_VISIBILITY_PRESET hidden)
# Same name as the pkg-config target, so the libraries link either without knowing which.
add_library(PkgConfig::SECP256K1 INTERFACE IMPORTED)
target_link_libraries(PkgConfig::SECP256K1 INTERFACE vek_secp256k1)
