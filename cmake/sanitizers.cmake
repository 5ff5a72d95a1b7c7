# Host build: the portable core and its tests run under AddressSanitizer and
# UBSan. Benchmarks build their own unsanitised copy of the core.
set(KILNA_SANITIZER_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)

function(kilna_sanitize target)
  target_compile_options(${target} PRIVATE ${KILNA_SANITIZER_FLAGS})
  target_link_options(${target} PRIVATE ${KILNA_SANITIZER_FLAGS})
endfunction()
