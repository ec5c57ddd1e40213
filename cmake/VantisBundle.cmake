# Paths of the bundle shape that the build tree shares with an install
# (<prefix>/bin, <prefix>/libexec/vantis, <prefix>/share/vantis,
# <prefix>/share/man), and the development CA and the local
# backend's certificate, generated into the build tree when missing. The CA
# certificate lands where clients of the bundle look for their trust anchor; the
# private keys and the backend certificate stay under <build>/private.

set(VANTIS_BUNDLE_BIN_DIR ${CMAKE_BINARY_DIR}/bin)
set(VANTIS_BUNDLE_LIBEXEC_DIR ${CMAKE_BINARY_DIR}/libexec/vantis)
set(VANTIS_BUNDLE_SHARE_DIR ${CMAKE_BINARY_DIR}/share/vantis)
set(VANTIS_BUNDLE_MAN1_DIR ${CMAKE_BINARY_DIR}/share/man/man1)
set(VANTIS_GAMECARD_DIR ${VANTIS_BUNDLE_SHARE_DIR}/gamecard)
set(VANTIS_DEV_CA_CERTIFICATE ${VANTIS_BUNDLE_SHARE_DIR}/rootCA.pem)
set(VANTIS_DEV_PRIVATE_DIR ${CMAKE_BINARY_DIR}/private)
set(VANTIS_BACKEND_CERTIFICATE ${VANTIS_DEV_PRIVATE_DIR}/backend.pem)
set(VANTIS_BACKEND_KEY ${VANTIS_DEV_PRIVATE_DIR}/backend.key)

function(vantis_add_dev_certificates_target)
  add_custom_command(
    OUTPUT ${VANTIS_DEV_CA_CERTIFICATE} ${VANTIS_BACKEND_CERTIFICATE} ${VANTIS_BACKEND_KEY}
    COMMAND ${CMAKE_SOURCE_DIR}/resources/certificates/make-dev-certificates
            ${VANTIS_DEV_CA_CERTIFICATE} ${VANTIS_DEV_PRIVATE_DIR}
    COMMENT "Generating the development CA and the backend certificate"
    VERBATIM)
  add_custom_target(vantis_dev_certificates ALL
    DEPENDS ${VANTIS_DEV_CA_CERTIFICATE} ${VANTIS_BACKEND_CERTIFICATE} ${VANTIS_BACKEND_KEY})
endfunction()

# The backend fixtures every test program that meets the real backend or a
# loopback TLS server links: the backend and catalogue fixtures, the loopback
# servers and their certificates, the download fixture. Compiled once.
function(vantis_add_backend_test_support_library)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/backend/*.cpp)
  add_library(vantis_backend_test_support STATIC ${sources})
  find_package(OpenSSL REQUIRED)
  target_include_directories(vantis_backend_test_support PUBLIC ${CMAKE_SOURCE_DIR}/tests/support/backend)
  target_link_libraries(vantis_backend_test_support PUBLIC
    vantis_pack vantis_backend vantis_test_support GTest::gtest GTest::gmock OpenSSL::SSL OpenSSL::Crypto)
  target_compile_definitions(vantis_backend_test_support PUBLIC
    VANTIS_TEST_CA_CERTIFICATE="${VANTIS_DEV_CA_CERTIFICATE}"
    VANTIS_TEST_CA_KEY="${VANTIS_DEV_PRIVATE_DIR}/rootCA.key"
    VANTIS_TEST_BACKEND_CERTIFICATE="${VANTIS_BACKEND_CERTIFICATE}"
    VANTIS_TEST_BACKEND_KEY="${VANTIS_BACKEND_KEY}"
    VANTIS_TEST_GAMECARD_DIR="${VANTIS_GAMECARD_DIR}"
    VANTIS_TEST_BIN_DIR="${VANTIS_BUNDLE_BIN_DIR}")
  add_dependencies(vantis_backend_test_support vantis_dev_certificates vantis_gamecard_page vantis-pack vantis-backend)
endfunction()

# A test program of every *.cpp of the current tests/<folder>, linked with the
# backend fixtures.
function(vantis_add_backend_test_executable target)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE vantis_backend_test_support GTest::gtest_main)
endfunction()

# The test program of one tests/<folder> whose tests run the backend: every
# *.cpp of the folder plus the backend and catalogue fixtures, discovered with
# the "<folder>." prefix and the "threaded" label. Returns nothing; the program
# is vantis_tests_<folder>.
function(vantis_add_backend_test_program folder)
  include(GoogleTest)
  set(target vantis_tests_${folder})
  vantis_add_backend_test_executable(${target})
  gtest_discover_tests(${target}
    TEST_PREFIX "${folder}."
    PROPERTIES LABELS threaded ENVIRONMENT "VANTIS_BUNDLE=${CMAKE_BINARY_DIR}"
    DISCOVERY_TIMEOUT 60)
endfunction()
